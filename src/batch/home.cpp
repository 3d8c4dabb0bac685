#include "batch/home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "app/run_configuration.h"
#include "batch/directory.h"
#include "batch/machine.h"
#include "resources/image_header.h"

namespace {

constexpr int kPosterWidth = 2160;
constexpr int kPosterHeight = 3840;

bool newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

const char* kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The last chunk of a PNG that was written to its end.
bool endsWithIend(int fd) {
  static const unsigned char kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  unsigned char tail[12];
  const off_t size = lseek(fd, 0, SEEK_END);
  return size >= 12 && pread(fd, tail, sizeof tail, size - 12) == 12 &&
         std::memcmp(tail, kIend, sizeof tail) == 0;
}

bool wholePoster(int fd) {
  std::FILE* file = fdopen(dup(fd), "rb");
  if (!file) return false;
  const ImageHeader header = readImageHeader(file);
  std::fclose(file);
  return header.outcome == ImageHeader::Outcome::kRead && std::strcmp(header.format, "PNG") == 0 &&
         header.width == kPosterWidth && header.height == kPosterHeight && endsWithIend(fd);
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
  home.fd = openDirectory(home.path, problem).release();
  if (home.fd < 0) {
    error = problem.text;
    return home;
  }
  for (const std::string& name :
       {std::string("size.txt"), std::string("font.ttf"), std::string("bg.png")}) {
    error = notAFile(home, name);
    if (!error.empty()) return home;
  }
  std::istringstream size(readSmallFile(home.fd, "size.txt", 1 << 16));
  readRunConfigurationFrom(size, home.itemCount, home.fontSize);
  return home;
}

std::string captionName(int item) { return "d" + std::to_string(item) + ".txt"; }
std::string photoName(int item) { return "city_photo" + std::to_string(item) + ".jpeg"; }
std::string posterName(int item) { return "result" + std::to_string(item) + ".png"; }

const std::vector<std::string>& sharedInputs() {
  static const std::vector<std::string> names = {"font.ttf", "bg.png"};
  return names;
}

std::string notAFile(const Home& home, const std::string& name) {
  struct stat info;
  if (fstatat(home.fd, name.c_str(), &info, 0) != 0 || S_ISREG(info.st_mode)) return "";
  return name + " is " + kindOf(info.st_mode) + ", not a regular file";
}

bool posterUpToDate(const Home& home, int item) {
  UniqueFd poster(
      openat(home.fd, posterName(item).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat made;
  if (!poster || fstat(poster.get(), &made) != 0 || !S_ISREG(made.st_mode)) return false;
  std::vector<std::string> inputs = sharedInputs();
  inputs.insert(inputs.end(), {"size.txt", captionName(item), photoName(item)});
  for (const std::string& name : inputs) {
    struct stat input;
    if (fstatat(home.fd, name.c_str(), &input, 0) == 0 && !newer(made.st_mtim, input.st_mtim))
      return false;
  }
  return wholePoster(poster.get());
}

ItemCheck checkItems(const Home& home, const std::vector<int>& items) {
  ItemCheck check;
  check.costs.reserve(items.size());
  for (int item : items) {
    const std::string photo = photoName(item);
    std::string failure = notAFile(home, captionName(item));
    if (failure.empty()) failure = notAFile(home, photo);
    struct stat info;
    if (failure.empty() && fstatat(home.fd, photo.c_str(), &info, 0) != 0)
      failure = photo + ": " + std::strerror(errno);
    ImageHeader header;
    if (failure.empty()) {
      UniqueFd fd(openat(home.fd, photo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
      std::FILE* file = fd ? fdopen(fd.get(), "rb") : nullptr;
      if (!file) {
        failure = "cannot open " + photo + ": " + std::strerror(errno);
      } else {
        fd.release();
        header = readImageHeader(file);
        std::fclose(file);
        failure = imageRefusal(photo, header);
      }
    }
    if (!failure.empty()) {
      check.failures.push_back({home.shownItem(item), failure});
      continue;
    }
    // Within the decode limits, so well inside 64 bits.
    check.costs.push_back({item, header.width * header.height * 4, true});
  }
  return check;
}
