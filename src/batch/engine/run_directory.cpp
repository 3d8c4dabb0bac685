#include "batch/engine/run_directory.h"

#include "contract/run_contract.h"

namespace {

Problem linkInput(const Home& home, const std::string& name, const Directory& run,
                  const std::string& link) {
  if (kindOf(*home.directory, name) == FileKind::kMissing)
    return Problem{};  // missing stays missing
  return linkTo(run, link, joinPath(home.path, name));
}

}  // namespace

Directory makeRunDirectory(const Directory& parent, const std::string& name, const Home& home,
                           const std::vector<int>& items, Problem& problem, bool thumbnails) {
  Directory run = makePrivateDirectory(parent, name, problem);
  if (!run) return run;
  for (const std::string& input : sharedInputs())
    if (!problem) problem = linkInput(home, input, run, input);
  for (size_t j = 1; j <= items.size() && !problem; ++j) {
    const int item = items[j - 1];
    const int local = static_cast<int>(j);
    problem = linkInput(home, captionName(item), run, captionName(local));
    if (!problem) problem = linkInput(home, photoName(item), run, photoName(local));
  }
  if (!problem)
    problem =
        writeNewFile(run, kRunConfigurationName,
                     std::to_string(items.size()) + " " + std::to_string(home.fontSize) + "\n");
  if (!problem && thumbnails) makePrivateDirectory(run, kThumbnailRequestName, problem);
  if (problem) {
    run = Directory();
    removeTree(parent, name);
  }
  return run;
}
