#include "captions/text_file.h"

#include <fstream>
#include <new>
#include <stdexcept>

namespace {

constexpr char kEndOfText = '\x1A';

// Appends the text-mode translation of one chunk. A CR that ends a chunk is
// held back in pendingCr until the next byte shows whether an LF follows.
// Returns false once the end-of-text byte has been met.
bool translateChunk(const char* bytes, std::streamsize count, bool& pendingCr, std::string& text) {
  const char* end = bytes + count;
  const char* run = bytes;  // start of bytes that go through unchanged
  for (const char* p = bytes; p != end; ++p) {
    if (pendingCr) {
      pendingCr = false;
      if (*p != '\n') text += '\r';
    }
    if (*p == '\r' || *p == kEndOfText) {
      text.append(run, p);
      run = p + 1;
      if (*p == kEndOfText) return false;
      pendingCr = true;
    }
  }
  text.append(run, end);
  return true;
}

}  // namespace

std::string readTextStream(std::istream& in, size_t limit) {
  std::string text;
  char chunk[1 << 16];
  bool pendingCr = false;
  try {
    while (in && text.size() <= limit) {
      in.read(chunk, sizeof chunk);
      if (!translateChunk(chunk, in.gcount(), pendingCr, text)) return text;
    }
    if (pendingCr) text += '\r';
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return text;
}

std::string readFileToString(std::string path, size_t limit) {
  std::ifstream file(path, std::ios::binary);
  return readTextStream(file, limit);
}
