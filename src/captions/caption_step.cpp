#include "captions/caption_step.h"

#include <SDL.h>

#include <cstdlib>
#include <fstream>
#include <utility>

#include "app/app_state.h"
#include "app/warning_log.h"
#include "captions/caption_script.h"
#include "captions/glyph_check.h"
#include "captions/replace_all.h"
#include "captions/text_file.h"
#include "captions/utf8_check.h"
#include "contract/run_contract.h"

std::string spaceAfterFullWidthMarks(std::string caption) {
  caption = replaceAll(std::move(caption), "\xEF\xBC\x8C", "\xEF\xBC\x8C ");
  return replaceAll(std::move(caption), "\xE3\x80\x82", "\xE3\x80\x82 ");
}

namespace {

// The font draws UTF-8 only: text in another encoding (GBK from an older
// Notepad, UTF-16) comes out as rows of boxes. It is drawn as it stands,
// but not silently. The offset is found again in the file's own bytes, so
// that it counts the CRs that text mode dropped.
void warnIfNotUtf8(const std::string& path, const std::string& caption) {
  if (startsWithUtf16Mark(caption)) {
    logWarning("%s is UTF-16 and its caption will not show as written; save it as UTF-8\n",
               path.c_str());
    return;
  }
  if (firstNonUtf8Byte(caption) == std::string::npos) return;
  std::ifstream file(path, std::ios::binary);
  std::string bytes(kMaxCaptionBytes * 2, '\0');
  bytes.resize(file.read(&bytes[0], bytes.size()) ? bytes.size() : file.gcount());
  const size_t at = firstNonUtf8Byte(bytes);
  const unsigned value = at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u;
  logWarning(
      "%s is not UTF-8 (byte %s is 0x%02X) and its caption will not show as written; "
      "save it as UTF-8\n",
      path.c_str(), std::to_string(at).c_str(), value);
}

// What the font and the shaper cannot show as written. Text that is not
// UTF-8 has had its warning already.
void warnOfLayoutProblems(const std::string& path, const std::string& caption) {
  warnOfMissingGlyphs(AppState::font, path, caption);
  if (captionScript(caption).mixesDirections) {
    logWarning(
        "%s mixes right-to-left text with left-to-right text or numbers; it is laid out "
        "in one direction, so part of it reads out of order\n",
        path.c_str());
  }
}

}  // namespace

void loadCaption(int item) {
  std::string& slot = AppState::captions.at(item);
  const std::string path = itemFileName(kCaptionFile, item);
  slot = readFileToString(path, kMaxCaptionBytes);
  if (slot.size() > kMaxCaptionBytes) {
    // Sizes go in as text: size_t has no printf conversion common to every
    // platform's C library.
    const std::string limit = std::to_string(kMaxCaptionBytes);
    SDL_Log("Error:%s holds more than %s bytes, but a caption may hold at most %s\n", path.c_str(),
            limit.c_str(), limit.c_str());
    std::exit(kExitUnrenderable);
  }
  warnIfNotUtf8(path, slot);
  SDL_Log("start->%s\n", slot.c_str());
  slot = spaceAfterFullWidthMarks(std::move(slot));
  SDL_Log("end->%s\n", slot.c_str());
  if (firstNonUtf8Byte(slot) == std::string::npos) warnOfLayoutProblems(path, slot);
}
