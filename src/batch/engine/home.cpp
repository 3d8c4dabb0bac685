#include "batch/engine/home.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "app/run_configuration.h"
#include "batch/platform/directory.h"
#include "batch/platform/machine.h"
#include "contract/run_contract.h"
#include "png/png_reader.h"
#include "resources/image_header.h"

namespace {

const char* describeKind(FileKind kind) {
  switch (kind) {
    case FileKind::kFifo: return "a FIFO";
    case FileKind::kDirectory: return "a directory";
    case FileKind::kDevice: return "a device";
    default: return "not a regular file";
  }
}

std::string notAFile(const std::string& name, FileKind kind) {
  if (kind == FileKind::kMissing || kind == FileKind::kRegular) return "";
  return name + " is " + describeKind(kind) + ", not a regular file";
}

bool wholePoster(std::FILE* file) {
  const ImageHeader header = readImageHeader(file);
  return header.outcome == ImageHeader::Outcome::kRead && std::strcmp(header.format, "PNG") == 0 &&
         header.width == kPosterWidth && header.height == kPosterHeight && pngEndsWithIend(file);
}

}  // namespace

int Home::shownItem(int item) const {
  return item >= 1 && item <= static_cast<int>(shownItems.size()) ? shownItems[item - 1] : item;
}

Home openHome(const std::string& path, std::string& error) {
  Home home;
  home.path = absoluteDirectory(path);
  if (home.path.empty()) {
    error = path + " is not a directory";
    return home;
  }
  Problem problem;
  home.directory = std::make_shared<Directory>(openDirectory(home.path, problem));
  if (problem) {
    error = problem.text;
    return home;
  }
  for (const std::string& name :
       {std::string("size.txt"), std::string("font.ttf"), std::string("bg.png")}) {
    error = notAFile(home, name);
    if (!error.empty()) return home;
  }
  std::istringstream size(readSmallFile(*home.directory, "size.txt", 1 << 16));
  readRunConfigurationFrom(size, home.itemCount, home.fontSize);
  return home;
}

std::string captionName(int item) { return itemFileName(kCaptionFile, item); }
std::string photoName(int item) { return itemFileName(kPhotographFile, item); }
std::string posterName(int item) { return itemFileName(kPosterFile, item); }

const std::vector<std::string>& sharedInputs() {
  static const std::vector<std::string> names = {kFontName, kBackgroundName};
  return names;
}

std::string notAFile(const Home& home, const std::string& name) {
  return notAFile(name, kindOf(*home.directory, name));
}

bool posterUpToDate(const Home& home, int item) {
  const Directory& directory = *home.directory;
  int64_t made = 0;
  if (!isRegularFile(directory, posterName(item)) ||
      !modifiedTime(directory, posterName(item), made))
    return false;
  std::vector<std::string> inputs = sharedInputs();
  inputs.insert(inputs.end(), {kRunConfigurationName, captionName(item), photoName(item)});
  for (const std::string& name : inputs) {
    int64_t input = 0;
    if (modifiedTime(directory, name, input) && made <= input) return false;
  }
  std::FILE* poster = openRegularFile(directory, posterName(item), false);
  if (!poster) return false;
  const bool whole = wholePoster(poster);
  std::fclose(poster);
  return whole;
}

namespace {

// The header of an image of the home, or why it cannot be read or would be
// refused.
ImageHeader headerOf(const Home& home, const std::string& name, std::string& failure) {
  ImageHeader header;
  std::FILE* file = openRegularFile(*home.directory, name, true);
  if (!file) {
    failure = "cannot open " + name + ": " + std::strerror(errno);
    return header;
  }
  header = readImageHeader(file);
  std::fclose(file);
  failure = imageRefusal(name, header);
  return header;
}

}  // namespace

int64_t backgroundBytes(const Home& home) {
  std::string failure;
  const ImageHeader header = headerOf(home, "bg.png", failure);
  if (!failure.empty() || header.outcome != ImageHeader::Outcome::kRead) return -1;
  return header.width * header.height * 4;
}

ItemCheck checkItems(const Home& home, const std::vector<int>& items) {
  // Asked to filter when it scales, the renderer draws from pictures at
  // their own size (the runs get the batch's environment).
  const char* scaling = std::getenv("SDL_RENDER_SCALE_QUALITY");
  const bool keepTheirSize =
      scaling && std::strcmp(scaling, "0") != 0 && std::strcmp(scaling, "nearest") != 0 && *scaling;
  ItemCheck check;
  check.costs.reserve(items.size());
  for (int item : items) {
    const std::string photo = photoName(item);
    const FileKind photoKind = kindOf(*home.directory, photo);
    std::string failure = notAFile(home, captionName(item));
    if (failure.empty()) failure = notAFile(photo, photoKind);
    if (failure.empty() && photoKind == FileKind::kMissing)
      failure = photo + ": " + std::strerror(ENOENT);
    ImageHeader header;
    if (failure.empty()) header = headerOf(home, photo, failure);
    if (!failure.empty()) {
      check.failures.push_back({home.shownItem(item), failure});
      continue;
    }
    // Within the decode limits, so well inside 64 bits.
    const int64_t pixels = header.width * header.height;
    const int64_t drawn =
        keepTheirSize ? pixels : std::min<int64_t>(pixels, kPhotographDrawnPixels);
    // A JPEG drawn smaller than it is is decoded a row at a time into its
    // drawn size (held twice as its format changes); others are decoded whole.
    const bool rowByRow =
        !keepTheirSize && std::strcmp(header.format, "JPEG") == 0 && drawn < pixels;
    const int64_t decoded = rowByRow ? 2 * drawn * 4 + header.width * 4 : pixels * 4;
    check.costs.push_back({item, drawn * 4, true, decoded});
  }
  return check;
}
