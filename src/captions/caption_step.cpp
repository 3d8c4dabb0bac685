#include "captions/caption_step.h"

#include <SDL.h>

#include <cstdlib>
#include <utility>

#include "app/app_state.h"
#include "captions/replace_all.h"
#include "captions/text_file.h"
#include "resources/image_loading.h"

std::string spaceAfterFullWidthMarks(std::string caption) {
  caption = replaceAll(std::move(caption), "\xEF\xBC\x8C", "\xEF\xBC\x8C ");
  return replaceAll(std::move(caption), "\xE3\x80\x82", "\xE3\x80\x82 ");
}

void loadCaption(int item) {
  std::string& slot = AppState::captions.at(item);
  const std::string path = "d" + std::to_string(item) + ".txt";
  slot = readFileToString(path);
  if (slot.size() > kMaxCaptionBytes) {
    SDL_Log("Error:%s holds %zu bytes, but a caption may hold at most %zu\n", path.c_str(),
            slot.size(), kMaxCaptionBytes);
    std::exit(kExitUnrenderable);
  }
  SDL_Log("start->%s\n", slot.c_str());
  slot = spaceAfterFullWidthMarks(std::move(slot));
  SDL_Log("end->%s\n", slot.c_str());
}
