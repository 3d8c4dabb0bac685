#include "captions/caption_script.h"

#include <map>

namespace {

enum class Strength { kNeutral, kLeftToRight, kRightToLeft };

bool within(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

bool rightToLeftLetter(char32_t c) {
  return within(c, 0x05D0, 0x05F4) || within(c, 0xFB1D, 0xFB4F) ||  // Hebrew
         c == 0x0608 || c == 0x060B || c == 0x060D || within(c, 0x061B, 0x064A) ||
         within(c, 0x066D, 0x066F) || within(c, 0x0671, 0x06D5) || within(c, 0x06E5, 0x06E6) ||
         within(c, 0x06EE, 0x06EF) || within(c, 0x06FA, 0x07A5) || within(c, 0x07B1, 0x07EA) ||
         within(c, 0x0860, 0x086A) || within(c, 0x08A0, 0x08C9) || within(c, 0xFB50, 0xFDFF) ||
         within(c, 0xFE70, 0xFEFC);  // Arabic, Syriac, Thaana, N'Ko
}

// Punctuation, symbols, digits, combining marks and the like: they take the
// direction of the text around them.
bool neutral(char32_t c) {
  if (c < 0x80) return !within(c | 0x20, 'a', 'z');
  return within(c, 0x0080, 0x00BF) || c == 0x00D7 || c == 0x00F7 || within(c, 0x02B9, 0x036F) ||
         within(c, 0x0374, 0x0375) || c == 0x037E || within(c, 0x0384, 0x0387) ||
         within(c, 0x0590, 0x05CF) || within(c, 0x0600, 0x06FF) || within(c, 0x1AB0, 0x1AFF) ||
         within(c, 0x1DC0, 0x1DFF) || within(c, 0x2000, 0x2BFF) || within(c, 0x3000, 0x303F) ||
         within(c, 0xE000, 0xF8FF) || within(c, 0xFE00, 0xFE6F) || within(c, 0xFF00, 0xFF20) ||
         within(c, 0xFF3B, 0xFF40) || within(c, 0xFF5B, 0xFF65) || within(c, 0x1F000, 0x1FAFF) ||
         c >= 0xE0000;
}

Strength strengthOf(char32_t c) {
  if (c == 0x200E) return Strength::kLeftToRight;  // LEFT-TO-RIGHT MARK
  if (c == 0x200F || c == 0x061C) return Strength::kRightToLeft;
  if (rightToLeftLetter(c)) return Strength::kRightToLeft;
  return neutral(c) ? Strength::kNeutral : Strength::kLeftToRight;
}

bool isLetter(char32_t c) { return c != 0x200E && c != 0x200F && c != 0x061C; }

struct ScriptRange {
  char32_t low, high;
  const char* code;
};

// The scripts HarfBuzz lays out with their own shapers.
constexpr ScriptRange kShapedScripts[] = {
    {0x0590, 0x05FF, "Hebr"}, {0xFB1D, 0xFB4F, "Hebr"}, {0x0600, 0x06FF, "Arab"},
    {0x0750, 0x077F, "Arab"}, {0x08A0, 0x08FF, "Arab"}, {0xFB50, 0xFDFF, "Arab"},
    {0xFE70, 0xFEFF, "Arab"}, {0x0700, 0x074F, "Syrc"}, {0x0780, 0x07BF, "Thaa"},
    {0x07C0, 0x07FF, "Nkoo"}, {0x0900, 0x097F, "Deva"}, {0xA8E0, 0xA8FF, "Deva"},
    {0x0980, 0x09FF, "Beng"}, {0x0A00, 0x0A7F, "Guru"}, {0x0A80, 0x0AFF, "Gujr"},
    {0x0B00, 0x0B7F, "Orya"}, {0x0B80, 0x0BFF, "Taml"}, {0x0C00, 0x0C7F, "Telu"},
    {0x0C80, 0x0CFF, "Knda"}, {0x0D00, 0x0D7F, "Mlym"}, {0x0D80, 0x0DFF, "Sinh"},
    {0x0E00, 0x0E7F, "Thai"}, {0x0E80, 0x0EFF, "Laoo"}, {0x0F00, 0x0FFF, "Tibt"},
    {0x1000, 0x109F, "Mymr"}, {0x1780, 0x17FF, "Khmr"},
};

const char* shapedScriptOf(char32_t c) {
  for (const ScriptRange& range : kShapedScripts)
    if (within(c, range.low, range.high)) return range.code;
  return "";
}

}  // namespace

std::u32string codePointsOf(const std::string& utf8) {
  std::u32string points;
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.c_str());
  for (size_t at = 0; bytes[at] != 0;) {
    const unsigned lead = bytes[at];
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    if (length == 0) {
      ++at;
      continue;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    size_t k = 1;
    for (; k < length && (bytes[at + k] & 0xC0) == 0x80; ++k) c = c << 6 | (bytes[at + k] & 0x3F);
    if (k == length) points.push_back(c);
    at += k;
  }
  return points;
}

CaptionScript captionScript(const std::string& utf8) {
  CaptionScript result;
  bool sawStrong = false;
  bool leftToRight = false;
  bool rightToLeft = false;
  int digitRun = 0;
  bool numbers = false;
  std::map<std::string, int> letters;  // by shaped script; "" for the others
  for (char32_t c : codePointsOf(utf8)) {
    digitRun = within(c, '0', '9') || within(c, 0x0660, 0x0669) || within(c, 0x06F0, 0x06F9)
                   ? digitRun + 1
                   : 0;
    if (digitRun == 2) numbers = true;
    const Strength strength = strengthOf(c);
    if (strength == Strength::kNeutral) continue;
    if (!sawStrong) result.rightToLeft = strength == Strength::kRightToLeft;
    sawStrong = true;
    if (!isLetter(c)) continue;
    (strength == Strength::kRightToLeft ? rightToLeft : leftToRight) = true;
    ++letters[shapedScriptOf(c)];
  }
  int most = 0;
  for (const auto& [code, count] : letters) {
    if (count <= most) continue;
    most = count;
    for (const ScriptRange& range : kShapedScripts)
      if (code == range.code) result.script = range.code;
    if (code.empty()) result.script = "";
  }
  result.mixesDirections = rightToLeft && (leftToRight || (result.rightToLeft && numbers));
  return result;
}
