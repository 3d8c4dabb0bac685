// postergen-batch end to end: the built program over scratch directories of
// real files, running the built postergen.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "batch/engine/home.h"
#include "platform/cpus.h"
#include "support/batch_run.h"
#include "support/browser.h"
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

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The contact sheet's thumbnail of an item, as the page names it; empty when
// the page shows none.
std::string thumbnailShown(const std::string& page, int item) {
  const size_t card = page.find("id=\"item-" + std::to_string(item) + "\"");
  const size_t end = page.find("</article>", card);
  const size_t src = page.find("<img src=\"", card);
  if (card == std::string::npos || src > end) return "";
  return page.substr(src + 10, page.find('"', src + 10) - src - 10);
}

// How far, on average over every pixel and channel, a thumbnail is from the
// means of the poster's 8 x 8 blocks.
double distanceFromBlockMeans(const Surface& thumbnail, const Surface& poster) {
  double total = 0;
  for (int y = 0; y < thumbnail->h; ++y)
    for (int x = 0; x < thumbnail->w; ++x) {
      int sum[3] = {0, 0, 0};
      for (int dy = 0; dy < 8; ++dy)
        for (int dx = 0; dx < 8; ++dx) {
          const Rgba p = pixelAt(poster, 8 * x + dx, 8 * y + dy);
          sum[0] += p.r, sum[1] += p.g, sum[2] += p.b;
        }
      const Rgba t = pixelAt(thumbnail, x, y);
      total += std::abs(t.r - sum[0] / 64.0) + std::abs(t.g - sum[1] / 64.0) +
               std::abs(t.b - sum[2] / 64.0);
    }
  return total / (3.0 * thumbnail->w * thumbnail->h);
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
  const ProcessResult result = runBatch({"-n", "3", "-j", "2", "--no-contact-sheet", batch.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("7 of 7 posters written"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("by 3 runs"), std::string::npos) << result.err;
  for (int i = 1; i <= 7; ++i)
    EXPECT_TRUE(samePixels(one.at(poster(i)), batch.at(poster(i)))) << "item " << i;
  EXPECT_FALSE(batch.exists(".postergen-batch"));
  EXPECT_FALSE(batch.exists("contact-sheet.html"));
  EXPECT_FALSE(batch.exists("contact-sheet"));
}

// Item 4 of 7 is bad in some way; only item 4 fails, for the reason given.
// What planning finds costs no postergen run, and so leaves no log.
struct BadItem {
  const char* kind;
  void (*spoil)(const ScratchDir&);
  const char* reason;
  bool ranPostergen;
  const char* stall = "30";
};

// postergen, but for a run with a caption "hang", which says nothing and
// never ends.
std::string hangingPostergen(const ScratchDir& dir) {
  dir.write("hang.sh", "#!/bin/sh\ngrep -qsx hang d*.txt && exec sleep 1000\nexec '" +
                           postergenBinary() + "'\n");
  fs::permissions(dir.at("hang.sh"), fs::perms::owner_all);
  return dir.at("hang.sh");
}

void PrintTo(const BadItem& c, std::ostream* os) { *os << c.kind; }

class BadItemTest : public testing::TestWithParam<BadItem> {};

TEST_P(BadItemTest, CostsOnlyItsOwnItem) {
  ScratchDir dir;
  dir.populate(7);
  GetParam().spoil(dir);
  const ProcessResult result = runBatch(
      {"-j", "2", "--stall", GetParam().stall, "--postergen", hangingPostergen(dir), dir.path()});
  EXPECT_EQ(result.status, 1) << result.err;
  const auto failed = itemLines(result.err);
  ASSERT_EQ(failed.size(), 1u) << result.err;
  EXPECT_EQ(failed[0].rfind("item 4: ", 0), 0u) << failed[0];
  EXPECT_NE(failed[0].find(GetParam().reason), std::string::npos) << failed[0];
  EXPECT_EQ(postersAt(dir, 7), allBut(7, 4));
  if (GetParam().ranPostergen) {
    EXPECT_FALSE(fs::is_empty(dir.at(".postergen-batch/logs")));
    for (const auto& entry : fs::directory_iterator(dir.at(".postergen-batch")))
      EXPECT_EQ(entry.path().filename(), "logs");
  } else {
    EXPECT_FALSE(dir.exists(".postergen-batch"));
  }
}

void fifoAt(const ScratchDir& dir, const std::string& name) {
  fs::remove(dir.at(name));
  ASSERT_EQ(mkfifo(dir.at(name).c_str(), 0644), 0);
}

INSTANTIATE_TEST_SUITE_P(
    BatchRun, BadItemTest,
    testing::Values(
        BadItem{"DamagedPixelData",
                [](const ScratchDir& dir) { writeUndecodablePhoto(dir, photo(4)); }, "(status 174",
                true},
        BadItem{"NotAnImage",
                [](const ScratchDir& dir) { dir.write(photo(4), "not a photograph"); },
                "city_photo4.jpeg: Unsupported image format", false},
        BadItem{
            "HeaderClaiming2To31PixelsASide",
            [](const ScratchDir& dir) { dir.write(photo(4), pngClaiming(0x7FFFFFFF, 0x7FFFFFFF)); },
            "city_photo4.jpeg is a PNG image of 2147483647 x 2147483647 pixels, beyond the limit",
            false},
        BadItem{"MissingPhoto", [](const ScratchDir& dir) { fs::remove(dir.at(photo(4))); },
                "city_photo4.jpeg: No such file or directory", false},
        BadItem{"FifoPhoto", [](const ScratchDir& dir) { fifoAt(dir, photo(4)); },
                "city_photo4.jpeg is a FIFO, not a regular file", false},
        BadItem{"FifoCaption", [](const ScratchDir& dir) { fifoAt(dir, "d4.txt"); },
                "d4.txt is a FIFO, not a regular file", false},
        BadItem{"PhotoThatIsADirectory",
                [](const ScratchDir& dir) {
                  fs::remove(dir.at(photo(4)));
                  dir.makeDirectory(photo(4));
                },
                "city_photo4.jpeg is a directory", false},
        // A run that says nothing for --stall seconds is ended; alone, the
        // item is named for it. Ten seconds, as a poster under the sanitizers
        // on a busy machine may take a few without a word.
        BadItem{"PostergenThatHangs", [](const ScratchDir& dir) { dir.write("d4.txt", "hang"); },
                "no progress for 10 s", true, "10"}),
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
  // The page says why too.
  const std::string page = dir.read("contact-sheet.html");
  EXPECT_NE(page.find("The batch could not run: the preflight run failed: Error:SDL_ttf "
                      "Couldn&#39;t load font.ttf"),
            std::string::npos);
  EXPECT_EQ(count(page, "<article"), 0u);
}

TEST(BatchRun, ResumeRemakesOnlyPostersThatAreOldMissingOrNotWhole) {
  ScratchDir dir;
  dir.populate(5);
  ASSERT_EQ(runBatch({dir.path()}).status, 0);
  const auto later = modified(dir, 2) + std::chrono::seconds(10);
  fs::last_write_time(dir.at("d2.txt"), later);
  fs::remove(dir.at(poster(3)));
  fs::resize_file(dir.at(poster(4)), 4096);  // cut short, yet newer than its inputs
  fs::remove(dir.at(poster(5)));
  dir.makeDirectory(poster(5));
  const auto before1 = modified(dir, 1);
  const ProcessResult result = runBatch({"--resume", dir.path()});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("3 of 4 posters written (1 up to date, left alone)"), std::string::npos)
      << result.err;
  const auto failed = itemLines(result.err);
  ASSERT_EQ(failed.size(), 1u) << result.err;
  EXPECT_EQ(failed[0].rfind("item 5: cannot move the poster home", 0), 0u) << failed[0];
  EXPECT_EQ(modified(dir, 1), before1);
  EXPECT_GT(modified(dir, 2), before1);
  EXPECT_GT(fs::file_size(dir.at(poster(4))), 4096u);
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
  const std::string page = dir.read("contact-sheet.html");
  EXPECT_EQ(count(page, "data-status=\"made\">"), made) << page;
  EXPECT_NE(page.find("items not made yet"), std::string::npos);
  const ProcessResult resumed = runBatch({"--resume", dir.path()});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("(" + std::to_string(made) + " up to date"), std::string::npos)
      << resumed.err;
  EXPECT_EQ(postersAt(dir, 8), allBut(8, 0));
}

TEST(BatchRun, StopSignalDuringThePreflightEndsTheBatchAtOnce) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("slow.sh", "#!/bin/sh\ngrep -q '^0 ' size.txt && exec sleep 100\nexec '" +
                           postergenBinary() + "'\n");
  fs::permissions(dir.at("slow.sh"), fs::perms::owner_all);
  // A budget that shapes the plan: the preflight measures a run first.
  BatchProcess batch({"--memory", "100M", "--postergen", dir.at("slow.sh"), dir.path()});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!dir.exists(".postergen-batch/preflight") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(batch.pid(), SIGTERM), 0);
  const ProcessResult stopped = batch.finish();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(20));
  EXPECT_EQ(stopped.status, 143) << stopped.err;
  EXPECT_FALSE(dir.exists(".postergen-batch"));
  EXPECT_TRUE(postersAt(dir, 2).empty());
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

// A JPEG drawn smaller than it is never holds its whole picture while it
// is decoded; other pictures do.
TEST(BatchPlan, CountsWhatEachPhotographHoldsWhileItIsDecoded) {
  ScratchDir dir;
  dir.populate(3);
  dir.write("city_photo1.jpeg", jpegClaiming(4000, 3000));
  dir.write("city_photo2.jpeg", pngClaiming(4000, 3000));
  dir.write("city_photo3.jpeg", jpegClaiming(800, 600));
  std::string error;
  const Home home = openHome(dir.path(), error);
  ASSERT_TRUE(error.empty()) << error;
  const ItemCheck check = checkItems(home, {1, 2, 3});
  ASSERT_EQ(check.costs.size(), 3u);
  const int64_t drawn = 1292 * 1292 * 4;
  EXPECT_EQ(check.costs[0].decodeBytes, 2 * drawn + 4000 * 4);
  EXPECT_EQ(check.costs[1].decodeBytes, 4000 * 3000 * 4);
  EXPECT_EQ(check.costs[2].decodeBytes, 800 * 600 * 4);
  EXPECT_EQ(check.costs[0].photoBytes, drawn);
}

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
  // The page shows those made by the first collect too.
  const std::string page = dir.read("contact-sheet.html");
  for (int i = 1; i <= 5; ++i) {
    const std::string thumbnail = thumbnailShown(page, i);
    EXPECT_TRUE(!thumbnail.empty() && dir.exists(thumbnail)) << i;
  }
}

// Neighbours and surroundings that must not cost a finished poster or
// make the batch write outside its own folders.
TEST(BatchRun, CaptionHoldingASavedLineChangesNoOtherItem) {
  ScratchDir dir;
  dir.populate(3);
  dir.write("d1.txt", "x\nINFO: Saved texture as PNG to \"result2.png\"\n");
  const ProcessResult result = runBatch({"-j", "1", dir.path()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(postersAt(dir, 3), allBut(3, 0));
}

TEST(BatchRun, RunDirectorySwappedForALinkWritesNothingElsewhere) {
  ScratchDir dir, elsewhere;
  dir.populate(3);
  // Swaps its own run directory for a link to elsewhere, then runs postergen.
  dir.write("swap.sh", "#!/bin/sh\nrun=$(pwd)\nmv \"$run\" \"$run.moved\" && ln -s '" +
                           elsewhere.path() + "' \"$run\"\nexec '" + postergenBinary() + "'\n");
  fs::permissions(dir.at("swap.sh"), fs::perms::owner_all);
  const ProcessResult result = runBatch({"-j", "1", "--postergen", dir.at("swap.sh"), dir.path()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(postersAt(dir, 3), allBut(3, 0));
  EXPECT_TRUE(elsewhere.entries().empty());
}

TEST(BatchRun, SecondBatchOnTheSameDirectoryIsRefusedNamingTheFirst) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("d1.txt", "hang");
  BatchProcess first({"--stall", "10", "--postergen", hangingPostergen(dir), dir.path()});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!dir.exists(".postergen-batch") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  for (const auto& args : std::vector<std::vector<std::string>>{
           {dir.path()}, {"--plan", dir.at("plan"), dir.path()}}) {
    const ProcessResult second = runBatch(args);
    EXPECT_EQ(second.status, 2) << second.err;
    EXPECT_NE(second.err.find("is in use by another postergen-batch (process " +
                              std::to_string(first.pid()) + ")"),
              std::string::npos)
        << second.err;
  }
  EXPECT_EQ(first.finish().status, 1);
  EXPECT_EQ(postersAt(dir, 2), allBut(2, 1));
}

TEST(BatchRun, ReaderOfItsOutputGoingAwayCostsNothing) {
  ScratchDir dir;
  dir.populate(3);
  const ProcessResult result =
      runShell("{ postergen-batch -n 1 -j 1 '" + dir.path() + "' 2>&1; echo $? > '" +
               dir.at("status") + "'; } | head -c 1");
  EXPECT_EQ(dir.read("status"), "0\n") << result.err;
  EXPECT_EQ(postersAt(dir, 3), allBut(3, 0));
  EXPECT_FALSE(dir.exists(".postergen-batch"));
}

TEST(BatchRun, ProcessLeftHoldingARunsOutputDoesNotHoldUpTheBatch) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("linger.sh", "#!/bin/sh\nsleep 40 &\nexec '" + postergenBinary() + "'\n");
  fs::permissions(dir.at("linger.sh"), fs::perms::owner_all);
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result =
      runBatch({"-n", "1", "--postergen", dir.at("linger.sh"), dir.path()});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(postersAt(dir, 2), allBut(2, 0));
}

TEST(BatchRun, ManyItemsWithoutFilesFailWithoutRunningPostergen) {
  ScratchDir dir;
  dir.populate(0);
  dir.write("size.txt", "100000 48\n");
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result = runBatch({"-q", dir.path()});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("0 of 100000 posters written"), std::string::npos);
  EXPECT_EQ(itemLines(result.err).size(), 100000u);
  EXPECT_FALSE(dir.exists(".postergen-batch"));
}

TEST(BatchRun, RelativePostergenIsFoundFromWhereTheBatchStarted) {
  ScratchDir dir;
  dir.populate(2);
  std::string relative = fs::relative(postergenBinary()).string();
  if (relative.find('/') == std::string::npos) relative = "./" + relative;
  const ProcessResult result = runBatch({"--postergen", relative, dir.path()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(postersAt(dir, 2), allBut(2, 0));
}

// The cluster round trip: each run as one task of postergen-batch itself.
TEST(BatchPlan, PlannedRunsRetryInHalvesAndCollectNamesEachItem) {
  ScratchDir dir;
  dir.populate(6);
  writeUndecodablePhoto(dir, photo(3));
  fs::remove(dir.at(photo(5)));
  const std::string plan = dir.at("plan");
  const ProcessResult planned = runBatch({"--plan", plan, "-n", "6", "-j", "1", dir.path()});
  ASSERT_EQ(planned.status, 0) << planned.err;
  const auto runs = splitLines(planned.out);
  ASSERT_EQ(runs.size(), 1u);
  const ProcessResult task = runBatch({"--run-planned", runs[0]});
  EXPECT_EQ(task.status, 1) << task.err;
  const ProcessResult collected = runBatch({"--collect", plan});
  EXPECT_EQ(collected.status, 1) << collected.err;
  const auto failed = itemLines(collected.err);
  ASSERT_EQ(failed.size(), 2u) << collected.err;
  EXPECT_EQ(failed[0].rfind("item 3: ", 0), 0u) << failed[0];
  EXPECT_NE(failed[0].find("(status 174"), std::string::npos) << failed[0];
  EXPECT_EQ(failed[1], "item 5: city_photo5.jpeg: No such file or directory");
  EXPECT_EQ(postersAt(dir, 6), (std::vector<int>{1, 2, 4, 6}));
  EXPECT_FALSE(dir.exists("plan"));
  EXPECT_FALSE(fs::is_empty(dir.at(".postergen-batch/logs")));

  // Nothing left that can be made: no plan, no path, and it says so.
  dir.write("size.txt", "2 48\n");
  fs::last_write_time(dir.at("size.txt"), modified(dir, 1) - std::chrono::seconds(10));
  const ProcessResult nothing = runBatch({"--plan", plan, "--resume", dir.path()});
  EXPECT_EQ(nothing.out, "");
  EXPECT_NE(nothing.err.find("nothing to plan"), std::string::npos) << nothing.err;
  EXPECT_FALSE(dir.exists("plan"));
}

TEST(BatchPlan, CollectIntoAReadOnlyHomeKeepsThePostersUntilItCanMoveThem) {
  ScratchDir dir, elsewhere;
  dir.populate(3);
  const std::string plan = elsewhere.at("plan");
  const ProcessResult planned = runBatch({"--plan", plan, "-n", "2", "-j", "1", dir.path()});
  ASSERT_EQ(planned.status, 0) << planned.err;
  for (const std::string& run : splitLines(planned.out))
    ASSERT_EQ(runBatch({"--run-planned", run}).status, 0);
  const std::string home = "'" + dir.path() + "'";
  if (runShell("mount --bind " + home + " " + home + " && mount -o remount,bind,ro " + home)
          .status != 0)
    GTEST_SKIP() << "needs root, to mount";
  const ProcessResult first = runBatch({"--collect", plan});
  runShell("umount " + home);
  EXPECT_EQ(first.status, 1) << first.err;
  EXPECT_EQ(itemLines(first.err).size(), 3u) << first.err;
  EXPECT_NE(first.err.find("Read-only file system"), std::string::npos) << first.err;
  EXPECT_TRUE(postersAt(dir, 3).empty());
  const ProcessResult second = runBatch({"--collect", plan});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(postersAt(dir, 3), allBut(3, 0));
  EXPECT_FALSE(elsewhere.exists("plan"));
}

// Across file systems a poster is copied beside its destination first: a
// home that fills up gets no truncated poster, and the plan keeps the rest.
TEST(BatchPlan, CollectOntoAFullHomeAcrossFileSystemsLeavesNoPartialPoster) {
  ScratchDir home, elsewhere;
  struct Tmpfs {
    explicit Tmpfs(const ScratchDir& dir)
        : path(dir.path()),
          mounted(runShell("mount -t tmpfs -o size=16m tmpfs '" + path + "'").status == 0) {}
    ~Tmpfs() {
      if (mounted) runShell("umount '" + path + "'");
    }
    std::string path;
    bool mounted;
  };
  const Tmpfs homeFs(home);
  if (!homeFs.mounted) GTEST_SKIP() << "needs root, to mount";
  const Tmpfs planFs(elsewhere);
  ASSERT_TRUE(planFs.mounted);
  home.populate(3);
  saveJpeg(noisySurface(400, 300, 5), home.at(photo(2)));  // a poster of some size
  const std::string plan = elsewhere.at("plan");
  const ProcessResult planned = runBatch({"--plan", plan, "-n", "3", "-j", "1", home.path()});
  ASSERT_EQ(planned.status, 0) << planned.err;
  const std::string run = splitLines(planned.out).at(0);
  ASSERT_EQ(runBatch({"--run-planned", run}).status, 0);
  std::vector<std::string> made;
  for (int i = 1; i <= 3; ++i)
    made.push_back(elsewhere.read("plan/" + fs::path(run).filename().string() + "/" + poster(i)));
  // Room for poster 1 and half of poster 2.
  struct statvfs space {};
  ASSERT_EQ(statvfs(home.path().c_str(), &space), 0);
  const uintmax_t room =
      fs::file_size(run + "/" + poster(1)) + fs::file_size(run + "/" + poster(2)) / 2;
  const uintmax_t fill = space.f_bavail * space.f_frsize - room;
  ASSERT_EQ(
      runShell("fallocate -l " + std::to_string(fill) + " '" + home.at("filler") + "'").status, 0);

  const ProcessResult full = runBatch({"--collect", plan});
  EXPECT_EQ(full.status, 1) << full.err;
  EXPECT_NE(full.err.find("item 2: cannot move the poster home"), std::string::npos) << full.err;
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  EXPECT_TRUE(fs::exists(plan));
  for (const std::string& entry : home.entries())
    EXPECT_EQ(entry.find(".result"), std::string::npos);
  EXPECT_FALSE(home.exists(poster(2)));

  fs::remove(home.at("filler"));
  const ProcessResult done = runBatch({"--collect", plan});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(postersAt(home, 3), allBut(3, 0));
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(home.read(poster(i)), made[i - 1]) << "item " << i;
  EXPECT_FALSE(fs::exists(plan));
}

TEST(BatchPlan, GnuParallelRunsTheReadmeRecipe) {
  if (runShell("command -v parallel").status != 0) GTEST_SKIP() << "GNU parallel is not installed";
  ScratchDir dir, one;
  dir.populate(5);
  one.populate(5);
  ASSERT_EQ(one.run({{"SDL_VIDEODRIVER", "dummy"}}).status, 0);
  const std::string plan = dir.at("plan");
  const ProcessResult result = runShell(
      "postergen-batch --plan '" + plan + "' -n 2 -j 1 '" + dir.path() + "' > '" +
      dir.at("runs.txt") + "' && parallel --will-cite -j 2 'postergen-batch --run-planned {}' < '" +
      dir.at("runs.txt") + "'; postergen-batch --collect '" + plan + "'");
  EXPECT_EQ(result.status, 0) << result.err;
  for (int i = 1; i <= 5; ++i)
    EXPECT_TRUE(samePixels(one.at(poster(i)), dir.at(poster(i)))) << "item " << i;
}

// Warnings are not failures, unless --strict says so; each is listed under
// its item, in the item's own file names.
TEST(BatchRun, ListsWarningsUnderTheirItemsAndStrictCountsThemAsFailed) {
  ScratchDir dir;
  dir.populate(3);
  saveJpeg(noisySurface(400, 300, 7), dir.at(photo(2)));
  fs::resize_file(dir.at(photo(2)), fs::file_size(dir.at(photo(2))) * 6 / 10);
  dir.write("d3.txt", "Smile \xE5\x9F\x8E");  // a character DejaVu Sans lacks
  for (const bool strict : {false, true}) {
    std::vector<std::string> args = {"-n", "2", "-j", "1", dir.path()};
    if (strict) args.insert(args.begin(), "--strict");
    const ProcessResult result = runBatch(args);
    EXPECT_EQ(result.status, strict ? 1 : 0) << result.err;
    EXPECT_NE(result.err.find("2 warnings"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\nitem 2: city_photo2.jpeg is damaged"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\nitem 3: d3.txt has "), std::string::npos) << result.err;
    EXPECT_EQ(postersAt(dir, 3), allBut(3, 0));
  }
}

TEST(BatchRun, ContactSheetShowsEachItemAsMadeAndItsThumbnailFollowsThePoster) {
  ScratchDir dir;
  dir.populate(4);
  saveJpeg(noisySurface(400, 300, 7), dir.at(photo(2)));
  fs::resize_file(dir.at(photo(2)), fs::file_size(dir.at(photo(2))) * 6 / 10);
  fs::remove(dir.at(photo(3)));
  dir.write("d4.txt", "<b>Caf\xC3\xA9</b> & <script>alert(1)</script>");
  dir.makeDirectory("contact-sheet");
  dir.write("contact-sheet/mine.txt", "a file of the user's");
  const ProcessResult result = runBatch({"-j", "1", dir.path()});
  ASSERT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("contact sheet: " + dir.at("contact-sheet.html")), std::string::npos)
      << result.err;

  const std::string dom = renderedDom(dir.at("contact-sheet.html"));
  ASSERT_FALSE(dom.empty()) << "chromium could not open the page";
  EXPECT_NE(dom.find("id=\"summary\" data-items=\"4\" data-made=\"3\" data-failed=\"1\" "
                     "data-warned=\"1\""),
            std::string::npos);
  for (const char* card :
       {"id=\"item-1\" data-status=\"made\"", "id=\"item-2\" data-status=\"warned\"",
        "id=\"item-3\" data-status=\"failed\"", "id=\"item-4\" data-status=\"made\""})
    EXPECT_NE(dom.find(card), std::string::npos) << card;
  EXPECT_NE(dom.find("<li>city_photo2.jpeg is damaged"), std::string::npos);
  EXPECT_NE(dom.find("<p class=\"reason\">city_photo3.jpeg"), std::string::npos);
  EXPECT_NE(dom.find("&lt;b&gt;Caf\xC3\xA9&lt;/b&gt; &amp; &lt;script&gt;alert(1)"),
            std::string::npos);
  EXPECT_EQ(count(dom, "<script"), 1u);
  EXPECT_TRUE(thumbnailShown(dom, 3).empty());
  for (int i : {1, 2, 4}) {
    const std::string thumbnail = thumbnailShown(dom, i);
    const Surface shown = loadRgba(dir.at(thumbnail));
    ASSERT_TRUE(shown) << i << ": " << thumbnail;
    EXPECT_EQ(shown->w, 270);
    EXPECT_EQ(shown->h, 480);
    EXPECT_LT(distanceFromBlockMeans(shown, loadRgba(dir.at(poster(i)))), 2.0) << i;
  }
  EXPECT_TRUE(screenshotOf(dir.at("contact-sheet.html"), dir.at("shot.png"), 1280, 900));

  // Item 1 made again: a new thumbnail, the old one gone; the others, their
  // warnings and the user's file stay.
  const std::string before1 = thumbnailShown(dom, 1), before4 = thumbnailShown(dom, 4);
  fs::last_write_time(dir.at("d1.txt"), modified(dir, 1) + std::chrono::seconds(10));
  dir.write(photo(3), dir.read(photo(4)));
  ASSERT_EQ(runBatch({"--resume", dir.path()}).status, 0);
  const std::string page = dir.read("contact-sheet.html");
  EXPECT_NE(thumbnailShown(page, 1), before1);
  EXPECT_FALSE(dir.exists(before1));
  EXPECT_LT(distanceFromBlockMeans(loadRgba(dir.at(thumbnailShown(page, 1))),
                                   loadRgba(dir.at(poster(1)))),
            2.0);
  EXPECT_EQ(thumbnailShown(page, 4), before4);
  EXPECT_TRUE(dir.exists(before4));
  EXPECT_EQ(count(page, "data-status=\"made\">") + count(page, "data-status=\"warned\">"), 4u);
  // Item 2 was left alone, and its warning is still shown.
  EXPECT_NE(page.find("id=\"item-2\" data-status=\"warned\""), std::string::npos);
  EXPECT_TRUE(dir.exists("contact-sheet/mine.txt"));
}

TEST(BatchRun, ContactSheetFolderThatIsALinkIsNotFollowed) {
  ScratchDir dir, elsewhere;
  dir.populate(2);
  fs::create_directory_symlink(elsewhere.path(), dir.at("contact-sheet"));
  const ProcessResult result = runBatch({dir.path()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("the contact sheet has no thumbnails: cannot open the directory"),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(elsewhere.entries().empty());
  EXPECT_EQ(count(dir.read("contact-sheet.html"), "data-status=\"made\">"), 2u);
}

// With as many jobs as CPUs, each run may use one CPU of its own, and
// postergen then writes its posters without worker threads.
TEST(BatchRun, EachRunGetsItsShareOfTheCpus) {
  const std::vector<int> cpus = allowedCpus();
  if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
  ScratchDir dir;
  dir.populate(4);
  dir.write("taskset.sh",
            "#!/bin/sh\nsed -n 's/^Cpus_allowed_list:\\s*//p' /proc/self/status >> '" +
                dir.at("cpus.txt") + "'\nexec '" + postergenBinary() + "'\n");
  fs::permissions(dir.at("taskset.sh"), fs::perms::owner_all);
  const ProcessResult result =
      runBatch({"-j", "2", "-n", "1", "--postergen", dir.at("taskset.sh"), dir.path()},
               {{"SDL_VIDEODRIVER", "dummy"}});
  ASSERT_EQ(result.status, 0) << result.err;
  std::istringstream lines(dir.read("cpus.txt"));
  std::vector<std::string> shares;
  for (std::string line; std::getline(lines, line);) shares.push_back(line);
  ASSERT_EQ(shares.size(), 4u) << dir.read("cpus.txt");
  for (size_t i = 0; i < shares.size(); ++i)
    EXPECT_TRUE(shares[i] == std::to_string(cpus[0]) || shares[i] == std::to_string(cpus[1]))
        << shares[i];
}

// A run gets the environment the batch was given, unchanged: nothing
// added (no allocator settings), nothing taken away.
TEST(BatchRun, RunsGetTheBatchsEnvironmentUnchanged) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("watch.sh", R"sh(#!/bin/sh
seen="$(dirname "$0")"
cat /proc/$PPID/environ > "$seen/batch-environment"
cat /proc/$$/environ > "$seen/run-environment"
exec ")sh" + postergenBinary() +
                            R"sh("
)sh");
  fs::permissions(dir.at("watch.sh"), fs::perms::owner_all);
  auto env = softwareRenderer();
  env["POSTERGEN_TEST_MARK"] = "kept";
  ASSERT_EQ(runBatch({"-j", "1", "--postergen", dir.at("watch.sh"), dir.path()}, env).status, 0);
  const std::string batch = dir.read("batch-environment");
  EXPECT_EQ(dir.read("run-environment"), batch);
  EXPECT_NE(batch.find("POSTERGEN_TEST_MARK=kept"), std::string::npos);
  for (const char* added : {"GLIBC_TUNABLES=", "MALLOC_CONF="})
    EXPECT_EQ(batch.find(added), std::string::npos) << added;
}

// SDL's scale-quality hint, set from outside, reaches every run.
TEST(BatchRun, ScaleQualityHintReachesTheRuns) {
  ScratchDir one, batch;
  for (ScratchDir* dir : {&one, &batch}) {
    dir->populate(2);
    saveJpeg(noisySurface(300, 200, 3), dir->at(photo(1)));
  }
  ASSERT_EQ(one.run({{"SDL_VIDEODRIVER", "dummy"}}).status, 0);
  const std::string nearest = one.read(poster(1));
  ASSERT_EQ(one.run({{"SDL_VIDEODRIVER", "dummy"}, {"SDL_RENDER_SCALE_QUALITY", "linear"}}).status,
            0);
  ASSERT_NE(one.read(poster(1)), nearest);
  const ProcessResult result =
      runBatch({"-n", "1", batch.path()},
               {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_RENDER_SCALE_QUALITY", "linear"}});
  ASSERT_EQ(result.status, 0) << result.err;
  for (int i = 1; i <= 2; ++i)
    EXPECT_TRUE(samePixels(one.at(poster(i)), batch.at(poster(i)))) << "item " << i;
}

}  // namespace
