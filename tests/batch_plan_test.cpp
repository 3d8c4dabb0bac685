// The pure pieces of postergen-batch: its command line, its planning, and
// how it reads and reports what postergen did.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <optional>

#include "batch/cli/options.h"
#include "batch/engine/cpu_share.h"
#include "batch/engine/outcome.h"
#include "batch/engine/plan.h"
#include "batch/engine/preflight.h"
#include "batch/engine/report.h"

namespace {

struct SizeCase {
  const char* text;
  std::optional<int64_t> bytes;
};

TEST(BatchOptions, ReadsSizesWithBinaryUnits) {
  const SizeCase cases[] = {{"6G", int64_t{6} << 30},
                            {"800M", int64_t{800} << 20},
                            {"1.5g", int64_t{3} << 29},
                            {"512MiB", int64_t{512} << 20},
                            {"64k", 65536},
                            {"1048576", 1048576},
                            {"2T", int64_t{2} << 40},
                            {"", std::nullopt},
                            {"G", std::nullopt},
                            {"12X", std::nullopt},
                            {"-1G", std::nullopt},
                            {"0", std::nullopt},
                            {"1.2.3M", std::nullopt},
                            {"99999999999999999999", std::nullopt}};
  for (const SizeCase& c : cases) EXPECT_EQ(parseByteSize(c.text), c.bytes) << c.text;
}

struct OptionCase {
  std::vector<std::string> args;
  std::string error;  // a part of the message, or empty for a good line
  int jobs = 0;
  int itemsPerRun = kMaxItemsPerRun;
  std::string directory = ".";
  BatchOptions::Action action = BatchOptions::Action::kRun;
};

TEST(BatchOptions, ParsesTheCommandLine) {
  using A = BatchOptions::Action;
  const OptionCase cases[] = {
      {{}, ""},
      {{"-j", "3", "dir"}, "", 3, kMaxItemsPerRun, "dir"},
      {{"-j3", "--items-per-run=7"}, "", 3, 7},
      {{"--jobs", "2", "-n", "1004", "--", "-odd"}, "", 2, 1004, "-odd"},
      {{"--plan", "p", "home"}, "", 0, kMaxItemsPerRun, "home", A::kPlan},
      {{"--collect", "p"}, "", 0, kMaxItemsPerRun, ".", A::kCollect},
      {{"-h"}, "", 0, kMaxItemsPerRun, ".", A::kHelp},
      {{"--version"}, "", 0, kMaxItemsPerRun, ".", A::kVersion},
      {{"-j", "0"}, "--jobs wants a whole number"},
      {{"-j", "two"}, "--jobs wants a whole number"},
      {{"-n", "1005"}, "--items-per-run wants a whole number from 1 to 1004"},
      {{"-m", "lots"}, "--memory wants a size"},
      {{"--memory"}, "--memory wants a value"},
      {{"--resume=yes"}, "--resume takes no value"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"-x"}, "unknown option '-x'"},
      {{"a", "b"}, "one DIRECTORY at most"},
      {{"--plan", "p", "--collect", "q"}, "exclude each other"},
      {{"--collect", "p", "home"}, "--collect takes no DIRECTORY"},
      {{"--run-planned", "r"}, "", 0, kMaxItemsPerRun, ".", A::kRunPlanned},
      {{"--run-planned", "r", "--plan", "p"}, "exclude each other"},
      {{"--run-planned", "r", "home"}, "--run-planned takes no DIRECTORY"},
      {{"--stall", "0", "--strict"}, ""},
      {{"--stall", "-5"}, "--stall wants a number of seconds"},
  };
  for (const OptionCase& c : cases) {
    const ParsedOptions parsed = parseOptions(c.args);
    const std::string line = testing::PrintToString(c.args);
    if (!c.error.empty()) {
      EXPECT_NE(parsed.error.find(c.error), std::string::npos) << line << ": " << parsed.error;
      continue;
    }
    EXPECT_EQ(parsed.error, "") << line;
    EXPECT_EQ(parsed.options.jobs, c.jobs) << line;
    EXPECT_EQ(parsed.options.itemsPerRun, c.itemsPerRun) << line;
    EXPECT_EQ(parsed.options.directory, c.directory) << line;
    EXPECT_EQ(parsed.options.action, c.action) << line;
  }
}

// Items 1..n, each photograph costing `bytes`, but for the unknown ones.
std::vector<ItemCost> items(int n, int64_t bytes, std::vector<int> unknown = {}) {
  std::vector<ItemCost> costs;
  for (int i = 1; i <= n; ++i) {
    const bool known = std::find(unknown.begin(), unknown.end(), i) == unknown.end();
    costs.push_back({i, known ? bytes : 0, known});
  }
  return costs;
}

struct PlanCase {
  const char* what;
  std::vector<ItemCost> items;
  PlanLimits limits;  // items per run, run budget, fixed bytes
  std::vector<std::vector<int>> runs;
  bool byCountAlone;  // the budget plays no part
};

TEST(BatchPlan, SlicesConsecutiveItemsByCountAndMemory) {
  const PlanCase cases[] = {
      {"at most K items", items(5, 0), {2, 1000, 100}, {{1, 2}, {3, 4}, {5}}, true},
      // 100 fixed + 100 a photograph: four fit in 500.
      {"within the budget", items(6, 100), {10, 500, 100}, {{1, 2, 3, 4}, {5, 6}}, false},
      {"just within the budget", items(4, 100), {10, 500, 100}, {{1, 2, 3, 4}}, true},
      {"an unreadable header runs alone",
       items(5, 1, {3}),
       {10, 1000, 0},
       {{1, 2}, {3}, {4, 5}},
       true},
      {"unreadable ones in a row", items(3, 1, {1, 2}), {10, 1000, 0}, {{1}, {2}, {3}}, true},
      {"a photograph over the budget runs alone",
       {{1, 10, true}, {2, 5000, true}, {3, 10, true}},
       {10, 1000, 0},
       {{1}, {2}, {3}},
       false},
      {"nothing to plan", {}, {10, 1000, 0}, {}, true},
      // 100 fixed + 100 a texture + two photographs of 200 decoded at once.
      {"two decoded at once",
       {{1, 100, true, 200}, {2, 100, true, 200}, {3, 100, true, 150}, {4, 100, true, 200}},
       {10, 800, 100, 2},
       {{1, 2, 3}, {4}},
       false},
  };
  for (const PlanCase& c : cases) {
    std::vector<std::vector<int>> runs;
    for (const PlannedRun& run : planRuns(c.items, c.limits)) runs.push_back(run.items);
    EXPECT_EQ(runs, c.runs) << c.what;
    EXPECT_EQ(fitsByCountAlone(c.items, c.limits), c.byCountAlone) << c.what;
  }
}

TEST(BatchPlan, CostIsFixedPlusPhotographs) {
  EXPECT_EQ(runCost({{1, 30, true}, {2, 50, true}}, {10, 0, 100}), 100 + 80);
  EXPECT_EQ(planRuns(items(2, 10), {10, 1000, 5})[0].cost, 5 + 20);
  // and the largest photograph decoded, once for each decoding thread
  EXPECT_EQ(runCost({{1, 30, true, 300}, {2, 50, true, 500}}, {10, 0, 100, 2}), 100 + 80 + 1000);
}

TEST(BatchPlan, SharesTheCpusAmongTheRunsAtOnce) {
  struct Case {
    std::vector<int> cpus;
    int jobs;
    std::vector<std::vector<int>> shares;  // of slots 0, 1, ...
    int largest;
  };
  const Case cases[] = {
      {{0, 1}, 1, {{0, 1}}, 2},
      {{0, 1}, 2, {{0}, {1}}, 1},
      {{0, 1}, 3, {{0}, {1}, {0}}, 1},
      {{0, 1, 2, 3, 4, 5, 6, 7}, 3, {{0, 1}, {2, 3, 4}, {5, 6, 7}}, 3},
      {{2, 5, 9}, 2, {{2}, {5, 9}}, 2},  // a mask with gaps, as taskset -c 2,5,9 gives
      {{3}, 4, {{3}, {3}, {3}, {3}}, 1},
  };
  for (const Case& c : cases) {
    for (int slot = 0; slot < c.jobs; ++slot)
      EXPECT_EQ(cpuShare(c.cpus, c.jobs, slot), c.shares[slot]) << c.jobs << " jobs, slot " << slot;
    EXPECT_EQ(largestCpuShare(static_cast<int>(c.cpus.size()), c.jobs), c.largest);
  }
}

TEST(BatchPlan, DefaultJobsAreOnePerTwoCpusAndAtMostOnePerItem) {
  const struct {
    int cpus, items, jobs;
  } cases[] = {{2, 8, 1}, {2, 1, 1}, {3, 8, 2}, {16, 4, 4}, {16, 5000, 8}, {1, 0, 1}};
  for (const auto& c : cases)
    EXPECT_EQ(defaultJobs(c.cpus, c.items), c.jobs) << c.cpus << " CPUs, " << c.items << " items";
}

TEST(BatchPlan, CountsAPosterWritersBuffersPerCpuOfARun) {
  EXPECT_EQ(exportBytesOnCpus(1), kExportBytes);  // written on the main thread
  EXPECT_EQ(exportBytesOnCpus(2), kExportBytes + 4 * kPosterBytes);
  EXPECT_EQ(exportBytesOnCpus(8) - exportBytesOnCpus(4), 8 * kPosterBytes);
  // Unmeasured, a background costs three copies of its pixels.
  EXPECT_EQ(unmeasuredFixedBytes(1000, 2) - unmeasuredFixedBytes(0, 2), 3000);
  EXPECT_EQ(unmeasuredFixedBytes(0, 1), kAssumedFixedBytes);
}

TEST(BatchPlan, SplitsAFailedRunInHalves) {
  const std::pair<std::vector<int>, std::vector<std::vector<int>>> cases[] = {
      {{1, 2, 3, 4, 5}, {{1, 2, 3}, {4, 5}}},
      {{4, 9}, {{4}, {9}}},
      {{7}, {{7}}},
  };
  for (const auto& [missing, halves] : cases) EXPECT_EQ(splitInHalves(missing), halves);
}

TEST(BatchOutcome, RecognisesTheLogLineOfAWrittenPoster) {
  const std::pair<const char*, int> cases[] = {
      {"INFO: Saved texture as PNG to \"result1.png\"", 1},
      {"INFO: Saved texture as PNG to \"result1004.png\"\r", 1004},
      {"INFO: Saved texture as PNG to \"result.png\"", 0},
      {"INFO: Saved texture as PNG to \"result01.png\"", 0},
      {"INFO: Saved texture as PNG to \"result2x.png\"", 0},
      {"INFO: end->Saved texture as PNG to \"result3.png\"", 0},
      {"Saved texture as PNG to \"result3.png\"", 0},
      {"INFO: Failed saving image: disk full", 0},
  };
  for (const auto& [line, item] : cases) EXPECT_EQ(savedItem(line), item) << line;
}

TEST(BatchOutcome, NamesTheItemAndTheMeaningOfTheStatus) {
  const Termination unloadable{false, 174};
  EXPECT_EQ(failureReason(postergenMessage("Couldn't open city_photo1.jpeg", "INFO: x\n"),
                          unloadable, 12),
            "Couldn't open city_photo12.jpeg (status 174: an input cannot be opened or decoded, "
            "or the font size is out of range)");
  EXPECT_EQ(failureReason(postergenMessage("",
                                           "INFO: start->a\nINFO: Failed saving image: full\n"
                                           "libpng warning: x\n"),
                          {false, 0}, 3),
            "Failed saving image: full (status 0: the run ended without writing the poster)");
  EXPECT_EQ(failureReason("", {true, SIGKILL}, 5).rfind("no message (ended by signal 9", 0), 0u);
}

TEST(BatchOutcome, GivesARunsFileNamesTheNumbersOfTheItemsTheyStandFor) {
  const std::pair<const char*, const char*> cases[] = {
      {"Couldn't open city_photo2.jpeg", "Couldn't open city_photo9.jpeg"},
      {"d1.txt, d2.txt and d3.txt", "d7.txt, d9.txt and d3.txt"},  // no item 3 in the run
      {"Saved texture as PNG to \"result1.png\"", "Saved texture as PNG to \"result7.png\""},
      {"bad1.txt city_photo01.jpeg d1.txts", "bad1.txt city_photo01.jpeg d1.txts"},
  };
  for (const auto& [text, mapped] : cases) EXPECT_EQ(withItemNames(text, {7, 9}), mapped);
}

TEST(BatchReport, FilesWarningsUnderTheirItemsThroughTheSummary) {
  BatchReport report;
  noteWarning("Warning:d2.txt has 1 character that font.ttf lacks\n", {4, 8}, report);
  noteWarning("Warning:bg.png has a colour profile that cannot be read", {4, 8}, report);
  noteWarning("start->Warning:d1.txt", {4, 8}, report);
  ASSERT_EQ(report.warnings.size(), 2u);
  EXPECT_EQ(*report.warnings[8].begin(), "d8.txt has 1 character that font.ttf lacks");
  BatchReport read;
  readWarnings(summaryText(report), read);
  EXPECT_EQ(read.warnings, report.warnings);
  EXPECT_EQ(exitStatus(report), 0);
  report.strict = true;
  EXPECT_EQ(exitStatus(report), 1);
}

TEST(BatchReport, SummaryAndExitStatus) {
  BatchReport report;
  report.total = 3;
  report.written = 3;
  EXPECT_EQ(exitStatus(report), 0);
  report.written = 2;
  report.failures = {{2, "why"}};
  EXPECT_EQ(exitStatus(report), 1);
  EXPECT_NE(summaryText(report).find("\nitem 2: why\n"), std::string::npos);
  report.stoppedBy = SIGINT;
  EXPECT_EQ(exitStatus(report), 130);
}

TEST(BatchReport, FormatsDurationsAndProgress) {
  const std::pair<double, const char*> cases[] = {
      {0.4, "0s"}, {59.4, "59s"}, {192, "3m 12s"}, {7500, "2h 05m"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text);
  EXPECT_EQ(progressLine(30, 90, 60), "30/90 posters, 30.0/min, 2m 00s left");
  EXPECT_EQ(progressLine(0, 90, 5), "0/90 posters");
}

}  // namespace
