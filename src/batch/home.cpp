#include "batch/home.h"

#include <sys/stat.h>

#include <fstream>

#include "app/run_configuration.h"
#include "resources/image_header.h"

namespace {

bool modified(const std::string& path, struct timespec& when) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  when = info.st_mtim;
  return true;
}

bool newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

Home readHome(const std::string& absolutePath) {
  Home home;
  home.path = absolutePath;
  std::ifstream file(absolutePath + "/size.txt");
  readRunConfigurationFrom(file, home.itemCount, home.fontSize);
  return home;
}

std::string captionName(int item) { return "d" + std::to_string(item) + ".txt"; }
std::string photoName(int item) { return "city_photo" + std::to_string(item) + ".jpeg"; }
std::string posterName(int item) { return "result" + std::to_string(item) + ".png"; }

const std::vector<std::string>& sharedInputs() {
  static const std::vector<std::string> names = {"font.ttf", "bg.png"};
  return names;
}

bool posterUpToDate(const Home& home, int item) {
  struct timespec poster {};
  if (!modified(home.path + "/" + posterName(item), poster)) return false;
  std::vector<std::string> inputs = sharedInputs();
  inputs.insert(inputs.end(), {"size.txt", captionName(item), photoName(item)});
  for (const std::string& name : inputs) {
    struct timespec input {};
    if (modified(home.path + "/" + name, input) && !newer(poster, input)) return false;
  }
  return true;
}

std::vector<ItemCost> photoCosts(const Home& home, const std::vector<int>& items) {
  std::vector<ItemCost> costs;
  costs.reserve(items.size());
  for (int item : items) {
    const ImageHeader header = readImageHeader(home.path + "/" + photoName(item));
    ItemCost cost;
    cost.item = item;
    cost.known = header.outcome == ImageHeader::Outcome::kRead;
    if (cost.known) cost.photoBytes = header.width * header.height * 4;
    costs.push_back(cost);
  }
  return costs;
}
