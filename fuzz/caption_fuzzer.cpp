// Feeds arbitrary bytes through caption reading and spacing, and checks the
// text-mode and spacing rules on the result.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "captions/caption_step.h"
#include "captions/text_file.h"

namespace {

size_t count(const std::string& text, const std::string& pattern) {
  size_t n = 0;
  for (size_t at = text.find(pattern); at != std::string::npos;
       at = text.find(pattern, at + pattern.size()))
    ++n;
  return n;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  const std::string text = readTextStream(in);

  // Text ends at the first Ctrl-Z; before it only CR LF pairs shrink.
  const std::string beforeEnd = bytes.substr(0, bytes.find('\x1A'));
  check(text.find('\x1A') == std::string::npos);
  check(text.size() == beforeEnd.size() - count(beforeEnd, "\r\n"));
  check(std::count(text.begin(), text.end(), '\n') ==
        std::count(beforeEnd.begin(), beforeEnd.end(), '\n'));

  // Spacing adds exactly one space per mark and nothing else.
  const std::string comma = "\xEF\xBC\x8C";
  const std::string fullStop = "\xE3\x80\x82";
  const std::string spaced = spaceAfterFullWidthMarks(text);
  const size_t marks = count(text, comma) + count(text, fullStop);
  check(spaced.size() == text.size() + marks);
  check(count(spaced, comma + " ") == count(text, comma));
  check(count(spaced, fullStop + " ") == count(text, fullStop));
  std::string withoutInserted = spaced;
  for (const std::string& mark : {comma, fullStop}) {
    std::string rebuilt;
    size_t from = 0;
    for (size_t at = withoutInserted.find(mark + " "); at != std::string::npos;
         at = withoutInserted.find(mark + " ", from)) {
      rebuilt.append(withoutInserted, from, at - from + mark.size());
      from = at + mark.size() + 1;
    }
    rebuilt.append(withoutInserted, from, std::string::npos);
    withoutInserted = rebuilt;
  }
  check(withoutInserted == text);
  return 0;
}
