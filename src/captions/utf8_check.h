// Tells whether a caption's bytes are UTF-8, the only encoding the caption
// font is drawn from.
#ifndef POSTERGEN_CAPTIONS_UTF8_CHECK_H_
#define POSTERGEN_CAPTIONS_UTF8_CHECK_H_

#include <string>

// The offset of the first byte that is not part of a well-formed UTF-8
// sequence (overlong forms, surrogates and code points past U+10FFFF
// included), or std::string::npos when all of them are.
size_t firstNonUtf8Byte(const std::string& text);

// True when the text begins with a UTF-16 byte-order mark, in either order.
bool startsWithUtf16Mark(const std::string& text);

#endif  // POSTERGEN_CAPTIONS_UTF8_CHECK_H_
