// Reads a whole text file the way a Windows text-mode stream delivers it, on
// every platform, so that a caption reads the same everywhere.
#ifndef POSTERGEN_CAPTIONS_TEXT_FILE_H_
#define POSTERGEN_CAPTIONS_TEXT_FILE_H_

#include <istream>
#include <string>

// Translates a byte stream by the text-mode rules: CR LF becomes LF, a lone
// CR stays, byte 0x1A ends the text. Byte-order marks and NUL bytes stay. A
// read error, or a buffer that cannot grow, ends the text with what was read.
std::string readTextStream(std::istream& in);

// The whole file as above; an empty string when it cannot be opened.
std::string readFileToString(std::string path);

#endif  // POSTERGEN_CAPTIONS_TEXT_FILE_H_
