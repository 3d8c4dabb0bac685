// A run directory: a working directory for one postergen run over some of
// the home's items, made of symbolic links to the home's files.
#ifndef POSTERGEN_BATCH_RUN_DIRECTORY_H_
#define POSTERGEN_BATCH_RUN_DIRECTORY_H_

#include <string>
#include <vector>

#include "batch/home.h"

// Makes path holding links to font.ttf and bg.png, d<j>.txt and
// city_photo<j>.jpeg linking to item items[j-1]'s own files (an input the
// home lacks stays missing), and size.txt "<k> <font size>". Returns an
// error, or empty.
std::string makeRunDirectory(const std::string& path, const Home& home,
                             const std::vector<int>& items);

// Removes a directory and everything under it, not following links.
void removeTree(const std::string& path);

// Moves a file by rename, or by copy and remove across file systems.
// Returns an error, or empty.
std::string moveFile(const std::string& from, const std::string& to);

// Creates a directory (its parent must exist); an existing one is fine.
std::string makeDirectory(const std::string& path);

#endif  // POSTERGEN_BATCH_RUN_DIRECTORY_H_
