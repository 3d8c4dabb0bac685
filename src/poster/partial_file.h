// Files written whole or not at all go to a temporary file beside them
// first. This names it and keeps the ones that exports are writing, where a
// signal handler can remove them: a run that is stopped leaves no
// half-written poster behind. Needs no SDL; any thread may note and forget.
#ifndef POSTERGEN_POSTER_PARTIAL_FILE_H_
#define POSTERGEN_POSTER_PARTIAL_FILE_H_

#include <string>

// The temporary name for path: in the same directory, hidden, unique to
// this process and saying what it is (".result3.png.<pid>-<random>.partial").
std::string partialNameFor(const std::string& path, unsigned attempt);

// Records path as a file in progress, before it is created, and returns
// its slot in the record. -1 when the path is longer than a slot or every
// slot is taken, so that the record is never partial.
int notePartialFile(const std::string& path);

// Clears the slot once its file is renamed or removed.
void forgetPartialFile(int slot);

// Removes every file in progress. Async-signal-safe: it only reads the
// static record and unlinks.
void removePartialFiles();

#endif  // POSTERGEN_POSTER_PARTIAL_FILE_H_
