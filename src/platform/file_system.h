// The platform's file operations that whole-file writes are made of (see
// whole_file.h): one implementation per platform, file_system_posix.cpp
// and file_system_win32.cpp. A failure fills in the step's code and the
// system's words.
#ifndef POSTERGEN_PLATFORM_FILE_SYSTEM_H_
#define POSTERGEN_PLATFORM_FILE_SYSTEM_H_

#include <cstdio>
#include <string>

#include "platform/whole_file.h"

unsigned long thisProcessId();

// Creates name exclusively, never through a link, for writing; sets exists
// when the name is taken.
std::FILE* createNewFile(const FileDirectory& directory, const std::string& name, bool& exists,
                         WriteFailure& failure);

// Starts the disk writing what the file holds so far, without waiting, so
// that the sync at the end finds little left to do.
void startWriteback(std::FILE* file);

// Flushes the file's buffer and syncs it to the disk.
bool syncFile(std::FILE* file, WriteFailure& failure);

// Renames from over to, atomically.
bool renameFile(const FileDirectory& directory, const std::string& from, const std::string& to,
                WriteFailure& failure);

void removeFile(const FileDirectory& directory, const std::string& name);

// name's path as a signal handler may use it: relative to the working
// directory, or absolute.
std::string pathIn(const FileDirectory& directory, const std::string& name);

// Removes the file at path. Async-signal-safe on POSIX.
void removeFileAtPath(const char* path);

#endif  // POSTERGEN_PLATFORM_FILE_SYSTEM_H_
