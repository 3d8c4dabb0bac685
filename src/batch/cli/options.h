// The command line of postergen-batch: what it is asked to do, and the
// usage text. Pure: reads no files and no system settings (main fills in
// the defaults that depend on the machine).
#ifndef POSTERGEN_BATCH_CLI_OPTIONS_H_
#define POSTERGEN_BATCH_CLI_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int kMaxItemsPerRun = 1004;  // the most one postergen run holds

struct BatchOptions {
  enum class Action { kRun, kPlan, kRunPlanned, kCollect, kHelp, kVersion };
  Action action = Action::kRun;
  std::string directory = ".";
  std::string planDirectory;  // --plan or --collect; the run directory of --run-planned
  int jobs = 0;               // 0: the number of online CPUs
  int64_t memoryBytes = 0;    // 0: 80% of the available memory
  int itemsPerRun = kMaxItemsPerRun;
  bool resume = false;
  bool quiet = false;
  int stallSeconds = 600;    // 0: never
  bool strict = false;       // an item with a warning counts as failed
  bool contactSheet = true;  // write DIRECTORY/contact-sheet.html
  std::string postergen;     // empty: beside postergen-batch, else on PATH
};

struct ParsedOptions {
  BatchOptions options;
  std::string error;  // empty when the command line is good
};

// args excludes the program name.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// "6G", "800M", "1.5g", "512MiB", "1048576": bytes, with K, M, G and T as
// powers of 1024. Nothing for text that is not a positive size.
std::optional<int64_t> parseByteSize(const std::string& text);

// The options, for a usage error; helpText adds how the batch works, for
// --help (on Windows, where there is no man page, the whole story).
std::string usageText();
std::string helpText();

#endif  // POSTERGEN_BATCH_CLI_OPTIONS_H_
