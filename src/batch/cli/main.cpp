// postergen-batch: makes any number of posters with as many postergen runs
// as it takes, several at once, in bounded memory (see commands.h).
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch/cli/commands.h"
#include "batch/cli/options.h"
#include "batch/platform/machine.h"

namespace {

int runAction(const BatchOptions& options) {
  using Action = BatchOptions::Action;
  switch (options.action) {
    case Action::kHelp: std::cout << helpText(); return 0;
    case Action::kVersion: std::cout << "postergen-batch " POSTERGEN_VERSION "\n"; return 0;
    case Action::kPlan: return planCommand(options);
    case Action::kRunPlanned: return runPlannedCommand(options);
    case Action::kCollect: return collectCommand(options);
    case Action::kRun: return runCommand(options);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = startProgram(argc, argv);
  const ParsedOptions parsed = parseOptions(args);
  if (!parsed.error.empty()) {
    std::cerr << "postergen-batch: " << parsed.error << "\n" << usageText();
    return 2;
  }
  return exitStatusOnThisPlatform(runAction(parsed.options));
}
