// postergen-batch end to end: the built program over scratch directories of
// real files, running the built postergen.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/batch_run.h"
#include "support/scratch_run.h"

namespace fs = std::filesystem;

namespace {

std::string poster(int item) { return "result" + std::to_string(item) + ".png"; }
std::string photo(int item) { return "city_photo" + std::to_string(item) + ".jpeg"; }

bool samePixels(const std::string& a, const std::string& b) {
  const Surface x = loadRgba(a);
  const Surface y = loadRgba(b);
  if (!x || !y || x->w != y->w || x->h != y->h) return false;
  for (int row = 0; row < x->h; ++row)
    if (std::memcmp(static_cast<const char*>(x->pixels) + row * x->pitch,
                    static_cast<const char*>(y->pixels) + row * y->pitch, x->w * 4) != 0)
      return false;
  return true;
}

std::vector<std::string> itemLines(const std::string& err) {
  std::vector<std::string> found;
  for (const std::string& line : splitLines(err))
    if (line.rfind("item ", 0) == 0) found.push_back(line);
  return found;
}

std::vector<int> postersAt(const ScratchDir& dir, int items) {
  std::vector<int> found;
  for (int i = 1; i <= items; ++i)
    if (dir.exists(poster(i))) found.push_back(i);
  return found;
}

std::vector<int> allBut(int items, int missing) {
  std::vector<int> all;
  for (int i = 1; i <= items; ++i)
    if (i != missing) all.push_back(i);
  return all;
}

fs::file_time_type modified(const ScratchDir& dir, int item) {
  return fs::last_write_time(dir.at(poster(item)));
}

// A PNG whose header reads but whose pixels do not decode: one byte of its
// image data no longer matches the chunk's checksum.
void writeUndecodablePhoto(const ScratchDir& dir, const std::string& name) {
  savePng(solidSurface(64, 48, {10, 20, 30, 255}), dir.at(name));
  std::string bytes = dir.read(name);
  bytes[bytes.find("IDAT") + 6] ^= 0x55;
  dir.write(name, bytes);
}

TEST(BatchRun, PostersMatchOneRunOverTheSameItemsPixelForPixel) {
  ScratchDir one, batch;
  one.populate(7);
  batch.populate(7);
  ASSERT_EQ(one.run({{"SDL_VIDEODRIVER", "dummy"}}).status, 0);
  const ProcessResult result = runBatch({"-n", "3", "-j", "2", batch.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("7 of 7 posters written"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("by 3 runs"), std::string::npos) << result.err;
  for (int i = 1; i <= 7; ++i)
    EXPECT_TRUE(samePixels(one.at(poster(i)), batch.at(poster(i)))) << "item " << i;
  EXPECT_FALSE(batch.exists(".postergen-batch"));
}

struct BadPhoto {
  const char* kind;
  void (*write)(const ScratchDir&, const std::string&);
};

void PrintTo(const BadPhoto& c, std::ostream* os) { *os << c.kind; }

class BadPhotoTest : public testing::TestWithParam<BadPhoto> {};

TEST_P(BadPhotoTest, CostsOnlyItsOwnItem) {
  ScratchDir dir;
  dir.populate(7);
  GetParam().write(dir, photo(4));
  const ProcessResult result = runBatch({"-j", "2", dir.path()});
  EXPECT_EQ(result.status, 1) << result.err;
  const auto failed = itemLines(result.err);
  ASSERT_EQ(failed.size(), 1u) << result.err;
  EXPECT_EQ(failed[0].rfind("item 4: ", 0), 0u) << failed[0];
  EXPECT_NE(failed[0].find("(status 174"), std::string::npos) << failed[0];
  EXPECT_EQ(postersAt(dir, 7), allBut(7, 4));
  EXPECT_FALSE(fs::is_empty(dir.at(".postergen-batch/logs")));
  for (const auto& entry : fs::directory_iterator(dir.at(".postergen-batch")))
    EXPECT_EQ(entry.path().filename(), "logs");
}

INSTANTIATE_TEST_SUITE_P(BatchRun, BadPhotoTest,
                         testing::Values(BadPhoto{"DamagedPixelData", writeUndecodablePhoto},
                                         BadPhoto{
                                             "NotAnImage",
                                             [](const ScratchDir& dir, const std::string& name) {
                                               dir.write(name, "not a photograph");
                                             }}),
                         [](const auto& info) { return std::string(info.param.kind); });

TEST(BatchRun, PreflightWithoutAFontRunsNothing) {
  ScratchDir dir;
  dir.populate(3);
  fs::remove(dir.at("font.ttf"));
  const ProcessResult result = runBatch({dir.path()});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Error:SDL_ttf Couldn't load font.ttf with size:48"), std::string::npos)
      << result.err;
  EXPECT_TRUE(postersAt(dir, 3).empty());
  EXPECT_FALSE(dir.exists(".postergen-batch"));
}

TEST(BatchRun, ResumeRemakesOnlyPostersOlderThanAnInputOrMissing) {
  ScratchDir dir;
  dir.populate(4);
  ASSERT_EQ(runBatch({dir.path()}).status, 0);
  const auto later = modified(dir, 2) + std::chrono::seconds(10);
  fs::last_write_time(dir.at("d2.txt"), later);
  fs::remove(dir.at(poster(3)));
  const auto before1 = modified(dir, 1);
  const ProcessResult result = runBatch({"--resume", dir.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("2 of 2 posters written (2 up to date, left alone)"), std::string::npos)
      << result.err;
  EXPECT_EQ(modified(dir, 1), before1);
  EXPECT_GT(modified(dir, 2), before1);
  EXPECT_EQ(postersAt(dir, 4), allBut(4, 0));
}

TEST(BatchRun, StopsOnSigintWithFinishedPostersHomeThenResumes) {
  ScratchDir dir;
  dir.populate(8);
  BatchProcess batch({"-n", "1", "-j", "1", dir.path()});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!dir.exists(poster(2)) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(kill(batch.pid(), SIGINT), 0);
  const ProcessResult stopped = batch.finish();
  EXPECT_EQ(stopped.status, 130) << stopped.err;
  const size_t made = postersAt(dir, 8).size();
  EXPECT_GE(made, 2u);
  EXPECT_LT(made, 8u);
  EXPECT_NE(stopped.err.find("--resume"), std::string::npos) << stopped.err;
  EXPECT_FALSE(dir.exists(".postergen-batch"));
  const ProcessResult resumed = runBatch({"--resume", dir.path()});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("(" + std::to_string(made) + " up to date"), std::string::npos)
      << resumed.err;
  EXPECT_EQ(postersAt(dir, 8), allBut(8, 0));
}

TEST(BatchRun, BadOptionGetsOneLineAndTheUsage) {
  const ProcessResult result = runBatch({"--jobs", "0"});
  EXPECT_EQ(result.status, 2);
  const auto lines = splitLines(result.err);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "postergen-batch: --jobs wants a whole number from 1 to 4096, not '0'");
  EXPECT_EQ(lines[1].rfind("Usage: postergen-batch", 0), 0u);
}

// --plan over 2010 items with tiny photographs and no font, background or
// captions: nothing runs, every item is planned once, in order.
struct PlanCase {
  const char* items_per_run;
  const char* jobs;
  std::vector<int> runSizes;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
  *os << "-n " << c.items_per_run << " -j " << c.jobs;
}

class LargePlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(LargePlanTest, PlansEveryItemOnceInOrder) {
  ScratchDir dir;
  dir.write("size.txt", "2010 48\n");
  saveJpeg(solidSurface(8, 6, {1, 2, 3, 255}), dir.at("tiny.jpeg"));
  for (int i = 1; i <= 2010; ++i) fs::create_symlink(dir.at("tiny.jpeg"), dir.at(photo(i)));
  const ProcessResult result = runBatch({"--plan", dir.at("plan"), "-n", GetParam().items_per_run,
                                         "-j", GetParam().jobs, "-m", "64G", dir.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto runs = splitLines(result.out);
  ASSERT_EQ(runs.size(), GetParam().runSizes.size()) << result.out;
  int next = 1;
  for (size_t r = 0; r < runs.size(); ++r) {
    std::ifstream size(runs[r] + "/size.txt");
    int count = 0, fontSize = 0;
    size >> count >> fontSize;
    EXPECT_EQ(count, GetParam().runSizes[r]) << runs[r];
    EXPECT_EQ(fontSize, 48);
    for (int j = 1; j <= count; ++j, ++next)
      ASSERT_EQ(fs::read_symlink(runs[r] + "/" + photo(j)), dir.at(photo(next))) << runs[r];
    EXPECT_FALSE(fs::exists(fs::symlink_status(runs[r] + "/font.ttf")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(runs[r] + "/d1.txt")));
  }
  EXPECT_EQ(next, 2011);
  EXPECT_TRUE(postersAt(dir, 2010).empty());
}

INSTANTIATE_TEST_SUITE_P(BatchPlan, LargePlanTest,
                         testing::Values(PlanCase{"1004", "1", {1004, 1004, 2}},
                                         PlanCase{"700", "1", {700, 700, 610}},
                                         PlanCase{"1004", "4", {503, 503, 503, 501}}),
                         [](const auto& info) {
                           return std::string("AtMost") + info.param.items_per_run + "With" +
                                  info.param.jobs + "Jobs";
                         });

TEST(BatchPlan, RunsElsewhereThenCollectedHome) {
  ScratchDir dir;
  dir.populate(5);
  const std::string plan = dir.at("plan");
  ProcessResult planned = runBatch({"--plan", plan, "-n", "2", "-j", "1", dir.path()});
  ASSERT_EQ(planned.status, 0) << planned.err;
  const auto runs = splitLines(planned.out);
  ASSERT_EQ(runs.size(), 3u);
  ASSERT_EQ(runPostergenIn(runs[0]).status, 0);
  ASSERT_EQ(runPostergenIn(runs[1]).status, 0);
  const ProcessResult partly = runBatch({"--collect", plan});
  EXPECT_EQ(partly.status, 1) << partly.err;
  const auto failed = itemLines(partly.err);
  ASSERT_EQ(failed.size(), 1u) << partly.err;
  EXPECT_EQ(failed[0].rfind("item 5: ", 0), 0u) << failed[0];
  EXPECT_EQ(postersAt(dir, 5), allBut(5, 5));
  EXPECT_FALSE(dir.exists("plan"));

  planned = runBatch({"--plan", plan, "--resume", dir.path()});
  ASSERT_EQ(planned.status, 0) << planned.err;
  const auto rest = splitLines(planned.out);
  ASSERT_EQ(rest.size(), 1u);
  ASSERT_EQ(runPostergenIn(rest[0]).status, 0);
  const ProcessResult collected = runBatch({"--collect", plan});
  EXPECT_EQ(collected.status, 0) << collected.err;
  EXPECT_EQ(postersAt(dir, 5), allBut(5, 0));
  EXPECT_FALSE(dir.exists("plan"));
}

}  // namespace
