#include "batch/plan_directory.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/machine.h"
#include "batch/outcome.h"
#include "batch/run_directory.h"

namespace fs = std::filesystem;

namespace {

const char kPlanFile[] = "postergen-batch.plan";
const char kPlanHeading[] = "postergen-batch plan 1";

std::string runName(size_t index, size_t count) {
  std::string number = std::to_string(index);
  const size_t width = std::max<size_t>(4, std::to_string(count).size());
  return "run-" + std::string(width - number.size(), '0') + number;
}

bool regularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string writePlan(const Home& home, const std::vector<PlannedRun>& runs,
                      const std::string& planDirectory, std::ostream& paths) {
  std::error_code error;
  if (fs::exists(planDirectory, error) && !fs::is_empty(planDirectory, error))
    return planDirectory + " is not an empty directory";
  std::string problem = makeDirectory(planDirectory);
  if (!problem.empty()) return problem;
  const std::string root = absoluteDirectory(planDirectory);
  if (root.empty()) return planDirectory + " is not a directory";
  if (home.path.find('\n') != std::string::npos) return "the home's path holds a line break";
  std::ofstream plan(root + "/" + kPlanFile);
  plan << kPlanHeading << "\nhome " << home.path << "\n";
  for (size_t r = 0; r < runs.size(); ++r) {
    const std::string name = runName(r + 1, runs.size());
    problem = makeRunDirectory(root + "/" + name, home, runs[r].items);
    if (!problem.empty()) return problem;
    plan << "run " << name;
    for (int item : runs[r].items) plan << ' ' << item;
    plan << '\n';
  }
  plan.close();
  if (!plan) return "cannot write " + root + "/" + kPlanFile;
  for (size_t r = 0; r < runs.size(); ++r)
    paths << root << '/' << runName(r + 1, runs.size()) << '\n';
  return "";
}

std::string collectPlan(const std::string& planDirectory, BatchReport& report) {
  const std::string root = absoluteDirectory(planDirectory);
  std::ifstream plan(root + "/" + kPlanFile);
  std::string heading;
  std::string homeLine;
  if (root.empty() || !std::getline(plan, heading) || heading != kPlanHeading ||
      !std::getline(plan, homeLine) || homeLine.rfind("home ", 0) != 0)
    return planDirectory + " holds no plan written by postergen-batch --plan";
  const std::string home = homeLine.substr(5);
  for (std::string line; std::getline(plan, line);) {
    std::istringstream fields(line);
    std::string word;
    std::string name;
    fields >> word >> name;
    const std::string run = root + "/" + name;
    int j = 0;
    for (int item; fields >> item;) {
      ++report.total;
      const std::string poster = run + "/" + posterName(++j);
      std::string failure = "no poster in " + run;
      if (regularFile(poster)) {
        failure = moveFile(poster, home + "/" + posterName(item));
        if (failure.empty()) {
          ++report.written;
          continue;
        }
        failure = "cannot move the poster home: " + failure;
      } else if (regularFile(run + "/postergen.log")) {
        failure += "; its log ends: " + lastLogLine(slurp(run + "/postergen.log"));
      }
      report.failures.push_back({item, failure});
    }
  }
  removeTree(root);
  return "";
}
