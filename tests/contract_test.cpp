// postergen's log and exit statuses, read with postergen-batch's own
// readers: a change on one side that the other does not follow fails here.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "batch/engine/home.h"
#include "batch/engine/outcome.h"
#include "batch/engine/report.h"
#include "contract/run_contract.h"
#include "support/batch_run.h"
#include "support/scratch_run.h"
#include "thumbnail/thumbnail.h"

namespace {

TEST(Contract, TheBatchReadsEveryPosterARunSaves) {
  ScratchDir dir;
  dir.populate(3);
  const RunResult run = dir.run(softwareRenderer());
  ASSERT_EQ(run.status, 0) << run.log;
  std::set<int> saved;
  for (const std::string& line : splitLines(run.log))
    if (const int item = savedItem(line)) saved.insert(item);
  EXPECT_EQ(saved, (std::set<int>{1, 2, 3})) << run.log;
  for (int item : saved) EXPECT_TRUE(dir.exists(posterName(item))) << item;
}

TEST(Contract, TheBatchFilesAWarningUnderTheItemItNames) {
  ScratchDir dir;
  dir.populate(2);
  dir.write(captionName(2), "caf\xE9");  // Latin-1, not UTF-8
  const RunResult run = dir.run(softwareRenderer());
  ASSERT_EQ(run.status, 0) << run.log;
  BatchReport report;
  for (const std::string& line : splitLines(run.log))
    if (isLogLine(line)) noteWarning(logLineText(line), {7, 8}, report);
  ASSERT_EQ(report.warnings.size(), 1u) << run.log;
  ASSERT_EQ(report.warnings.count(8), 1u) << run.log;
  EXPECT_EQ(report.warnings[8].begin()->rfind("d8.txt is not UTF-8", 0), 0u)
      << *report.warnings[8].begin();
}

TEST(Contract, TheBatchKnowsWhatEachEarlyEndMeans) {
  const struct {
    const char* name;
    void (*spoil)(const ScratchDir&);
    int status;
  } ends[] = {
      {"a photograph is missing",
       [](const ScratchDir& dir) { std::remove(dir.at(photoName(1)).c_str()); }, kExitUnloadable},
      {"a caption is too long to render",
       [](const ScratchDir& dir) { dir.write(captionName(1), std::string(70000, 'x')); },
       kExitUnrenderable},
      {"too many items", [](const ScratchDir& dir) { dir.write(kRunConfigurationName, "1005 48"); },
       kExitTooManyItems},
  };
  std::set<std::string> meanings;
  for (const auto& end : ends) {
    ScratchDir dir;
    dir.populate(1);
    end.spoil(dir);
    const RunResult run = dir.run(softwareRenderer());
    EXPECT_EQ(run.status, seenStatus(end.status)) << end.name << "\n" << run.log;
    const std::string meaning = describeTermination(Termination{false, run.status, 0});
    EXPECT_NE(meaning, "status " + std::to_string(run.status)) << end.name;
    meanings.insert(meaning);
  }
  EXPECT_EQ(meanings.size(), std::size(ends));
}

// Asked for thumbnails, postergen writes each poster's, made from its
// pixels: the very JPEG the contact sheet makes from the poster's file.
TEST(Contract, AskedForThumbnailsARunWritesThemFromItsPixels) {
  ScratchDir dir;
  dir.populate(2);
  dir.makeDirectory(kThumbnailRequestName);
  const RunResult run = dir.run(softwareRenderer());
  ASSERT_EQ(run.status, 0) << run.log;
  for (int item = 1; item <= 2; ++item) {
    std::FILE* poster = std::fopen(dir.at(posterName(item)).c_str(), "rb");
    ASSERT_TRUE(poster);
    const Thumbnail fromFile = makeThumbnail(poster);
    std::fclose(poster);
    ASSERT_FALSE(fromFile.jpeg.empty()) << fromFile.problem;
    EXPECT_EQ(
        dir.read(std::string(kThumbnailRequestName) + "/" + itemFileName(kThumbnailFile, item)),
        fromFile.jpeg)
        << item;
  }
}

}  // namespace
