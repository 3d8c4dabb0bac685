#include "batch/run_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string linkInput(const std::string& target, const std::string& link) {
  struct stat info;
  if (lstat(target.c_str(), &info) != 0) return "";  // missing stays missing
  if (symlink(target.c_str(), link.c_str()) != 0)
    return "cannot link " + link + ": " + std::strerror(errno);
  return "";
}

}  // namespace

std::string makeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
    return "cannot create " + path + ": " + std::strerror(errno);
  return "";
}

std::string makeRunDirectory(const std::string& path, const Home& home,
                             const std::vector<int>& items) {
  std::string error = makeDirectory(path);
  for (const std::string& name : sharedInputs())
    if (error.empty()) error = linkInput(home.path + "/" + name, path + "/" + name);
  for (size_t j = 1; j <= items.size() && error.empty(); ++j) {
    const int item = items[j - 1];
    const int local = static_cast<int>(j);
    error = linkInput(home.path + "/" + captionName(item), path + "/" + captionName(local));
    if (error.empty())
      error = linkInput(home.path + "/" + photoName(item), path + "/" + photoName(local));
  }
  if (!error.empty()) return error;
  std::ofstream size(path + "/size.txt");
  size << items.size() << ' ' << home.fontSize << '\n';
  size.close();
  if (!size) return "cannot write " + path + "/size.txt";
  return "";
}

void removeTree(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::string moveFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return "";
  if (errno != EXDEV) return std::strerror(errno);
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (error) return error.message();
  fs::remove(from, error);
  return "";
}
