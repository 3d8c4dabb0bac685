#include "captions/utf8_check.h"

size_t firstNonUtf8Byte(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  for (size_t at = 0; at < size;) {
    const unsigned lead = bytes[at];
    if (lead < 0x80) {
      ++at;
      continue;
    }
    // The lead byte gives the length and the range of the second byte,
    // which rules out overlong forms, surrogates and values past U+10FFFF.
    size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return at;
    }
    if (at + length > size || bytes[at + 1] < low || bytes[at + 1] > high) return at;
    for (size_t k = 2; k < length; ++k)
      if ((bytes[at + k] & 0xC0) != 0x80) return at;
    at += length;
  }
  return std::string::npos;
}

bool startsWithUtf16Mark(const std::string& text) {
  return text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
}
