#include "batch/run_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Problem linkInput(const Home& home, const std::string& name, int run, const std::string& link,
                  const std::string& shownAs) {
  struct stat info;
  if (fstatat(home.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return Problem{};  // missing stays missing
  if (symlinkat((home.path + "/" + name).c_str(), run, link.c_str()) != 0)
    return systemProblem("cannot link " + shownAs + "/" + link);
  return Problem{};
}

}  // namespace

UniqueFd makeRunDirectory(int parent, const std::string& name, const std::string& shownAs,
                          const Home& home, const std::vector<int>& items, Problem& problem) {
  UniqueFd run = makePrivateDirectory(parent, name, shownAs, problem);
  if (!run) return run;
  for (const std::string& input : sharedInputs())
    if (!problem) problem = linkInput(home, input, run.get(), input, shownAs);
  for (size_t j = 1; j <= items.size() && !problem; ++j) {
    const int item = items[j - 1];
    const int local = static_cast<int>(j);
    problem = linkInput(home, captionName(item), run.get(), captionName(local), shownAs);
    if (!problem) problem = linkInput(home, photoName(item), run.get(), photoName(local), shownAs);
  }
  if (!problem)
    problem =
        writeNewFile(run.get(), "size.txt",
                     std::to_string(items.size()) + " " + std::to_string(home.fontSize) + "\n",
                     shownAs + "/size.txt");
  if (problem) {
    removeTree(parent, name);
    return UniqueFd();
  }
  return run;
}
