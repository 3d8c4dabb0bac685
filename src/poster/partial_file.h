// Files written whole or not at all go to a temporary file beside them
// first. This names it and keeps the one that an export is writing, where a
// signal handler can remove it: a run that is stopped leaves no half-written
// poster behind. Needs no SDL.
#ifndef POSTERGEN_POSTER_PARTIAL_FILE_H_
#define POSTERGEN_POSTER_PARTIAL_FILE_H_

#include <string>

// The temporary name for path: in the same directory, hidden, unique to
// this process and saying what it is (".result3.png.<pid>-<random>.partial").
std::string partialNameFor(const std::string& path, unsigned attempt);

// Records path as the file in progress, before it is created. Paths longer
// than the buffer are refused (false), so that the record is never partial.
bool notePartialFile(const std::string& path);

// Clears the record once the file is renamed or removed.
void forgetPartialFile();

// Removes the file in progress, if any. Async-signal-safe: it only reads the
// static record and unlinks.
void removePartialFile();

#endif  // POSTERGEN_POSTER_PARTIAL_FILE_H_
