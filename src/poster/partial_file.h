// The one partial file that an export is writing at a time, kept where a
// signal handler can remove it: a run that is stopped leaves no half-written
// poster behind.
#ifndef POSTERGEN_POSTER_PARTIAL_FILE_H_
#define POSTERGEN_POSTER_PARTIAL_FILE_H_

#include <string>

// Records path as the file in progress, before it is created. Paths longer
// than the buffer are refused (false), so that the record is never partial.
bool notePartialFile(const std::string& path);

// Clears the record once the file is renamed or removed.
void forgetPartialFile();

// Removes the file in progress, if any. Async-signal-safe: it only reads the
// static record and unlinks.
void removePartialFile();

#endif  // POSTERGEN_POSTER_PARTIAL_FILE_H_
