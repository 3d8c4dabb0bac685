// Reads a whole text file the way a Windows text-mode stream delivers it, on
// every platform, so that a caption reads the same everywhere.
#ifndef POSTERGEN_CAPTIONS_TEXT_FILE_H_
#define POSTERGEN_CAPTIONS_TEXT_FILE_H_

#include <cstddef>
#include <istream>
#include <string>

// Translates a byte stream by the text-mode rules: CR LF becomes LF, a lone
// CR stays, byte 0x1A ends the text. Byte-order marks and NUL bytes stay. A
// read error, or a buffer that cannot grow, ends the text with what was read.
// Reading also stops once the text is longer than limit, so that an endless
// file (a device, a FIFO) costs no more memory than that: the result is
// then longer than limit, by at most one chunk of 64 KiB.
std::string readTextStream(std::istream& in, size_t limit = std::string::npos);

// The whole file as above; an empty string when it cannot be opened.
std::string readFileToString(std::string path, size_t limit = std::string::npos);

#endif  // POSTERGEN_CAPTIONS_TEXT_FILE_H_
