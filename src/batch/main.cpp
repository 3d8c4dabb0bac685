// postergen-batch: makes any number of posters with as many postergen runs
// as it takes, several at once, in bounded memory (see commands.h).
#include <cstdio>

#ifndef _WIN32
#include <iostream>
#include <string>
#include <vector>

#include "batch/commands.h"
#include "batch/machine.h"
#include "batch/options.h"

int main(int argc, char** argv) {
  catchStopSignals();
  const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::cerr << "postergen-batch: " << parsed.error << "\n" << usageText();
    return 2;
  }
  const BatchOptions& options = parsed.options;
  using Action = BatchOptions::Action;
  switch (options.action) {
    case Action::kHelp: std::cout << usageText(); return 0;
    case Action::kVersion: std::cout << "postergen-batch " POSTERGEN_VERSION "\n"; return 0;
    case Action::kPlan: return planCommand(options);
    case Action::kRunPlanned: return runPlannedCommand(options);
    case Action::kCollect: return collectCommand(options);
    case Action::kRun: return runCommand(options);
  }
  return 2;
}

#else

int main() {
  std::fputs("postergen-batch: not available on Windows yet\n", stderr);
  return 2;
}

#endif
