// End-to-end runs of the start-up path: configuration, font, limits and
// headless video drivers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/batch_run.h"
#include "support/scratch_run.h"

namespace {

using testing::HasSubstr;

TEST(Startup, NoItemsMeansNoCaptionReadAndNoPoster) {
  for (const char* count : {"0", "-2"}) {
    ScratchDir dir;
    dir.populate(2);
    dir.write("size.txt", std::string(count) + " 48");
    const RunResult run = dir.run();
    EXPECT_EQ(run.status, 0) << count << "\n" << run.log;
    EXPECT_EQ(run.log.find("start->"), std::string::npos) << count;
    EXPECT_FALSE(dir.exists("result1.png")) << count;
    EXPECT_EQ(run.out, "") << count;
  }
}

TEST(Startup, NoItemsStillNeedsTheBackground) {
  ScratchDir dir;
  dir.populate(0);
  std::remove(dir.at("bg.png").c_str());
  EXPECT_EQ(dir.run().status, kStatusUnloadable);
}

TEST(Startup, MoreItemsThanOneRunHoldsAreRefusedBeforeAnyFileIsOpened) {
  ScratchDir dir;
  dir.populate(1);
  dir.write("size.txt", "1005 48");
  std::remove(dir.at("font.ttf").c_str());  // the font is never reached
  const RunResult run = dir.run();
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.status, kStatusUnloadable);
  EXPECT_NE(run.status, kStatusUnrenderable);
  ASSERT_EQ(run.logLines().size(), 1u) << run.log;
  EXPECT_THAT(run.logLines()[0], HasSubstr("1005"));
  EXPECT_THAT(run.logLines()[0], HasSubstr("1004"));
  EXPECT_EQ(run.log.find("start->"), std::string::npos);
  EXPECT_FALSE(dir.exists("result1.png"));
}

TEST(Startup, MissingFontEndsTheRunWithItsSizeInTheMessage) {
  ScratchDir dir;
  dir.populate(1);
  std::remove(dir.at("font.ttf").c_str());
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, kStatusUnloadable);
  const auto lines = run.logLines();
  ASSERT_EQ(lines.size(), 1u) << run.log;
  EXPECT_EQ(lines[0].rfind("Error:SDL_ttf Couldn't load font.ttf with size:48, information:", 0),
            0u)
      << lines[0];
  EXPECT_GT(lines[0].size(), std::string("Error:SDL_ttf Couldn't load font.ttf "
                                         "with size:48, information:")
                                 .size());
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(dir.exists("result1.png"));
}

TEST(Startup, MissingConfigurationOpensTheFontAtSizeZero) {
  ScratchDir dir;
  dir.populate(1);
  std::remove(dir.at("size.txt").c_str());
  std::remove(dir.at("font.ttf").c_str());
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, kStatusUnloadable);
  EXPECT_THAT(run.log, HasSubstr("Couldn't load font.ttf with size:0, "));
}

// Without OpenGL there is no accelerated renderer; the software renderer
// must make the same posters.
TEST(Startup, RunsWithTheDummyVideoDriver) {
  ScratchDir dir;
  dir.populate(2);
  const RunResult run = dir.run({{"SDL_VIDEODRIVER", "dummy"}});
  EXPECT_EQ(run.status, 0) << run.log << run.out;
  EXPECT_TRUE(dir.exists("result1.png"));
  EXPECT_TRUE(dir.exists("result2.png"));
}

// However it is started, postergen runs once and ends: through the dynamic
// loader (as clusters with a glibc of their own start programs), and in
// the C library's secure mode (setuid, started by another user), where
// the environment's settings are not read.
TEST(Startup, RunsOnceHoweverItIsStarted) {
  ScratchDir dir;
  dir.populate(1);
  std::remove(dir.at("font.ttf").c_str());
  const std::string copy = dir.at("postergen-setuid");
  dir.copyFrom(postergenBinary(), "postergen-setuid");
  ASSERT_EQ(chmod(copy.c_str(), 04755), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const struct {
    const char* name;
    std::string command;
    bool needsRoot;
  } starts[] = {
      {"directly", "'" + postergenBinary() + "'", false},
      {"through the loader", "/lib64/ld-linux-x86-64.so.2 '" + postergenBinary() + "'", false},
      {"setuid, by another user",
       "setpriv --reuid=nobody --regid=nogroup --clear-groups '" + copy + "'", true},
  };
  for (const auto& start : starts) {
    if (start.needsRoot && geteuid() != 0) continue;
    // (The sanitizers' leak check counts the loader's own allocations.)
    const ProcessResult run =
        runShell("cd '" + dir.path() + "' && ASAN_OPTIONS=detect_leaks=0 timeout 60 " +
                 start.command + " 2>&1");
    EXPECT_EQ(run.status, kStatusUnloadable) << start.name << "\n" << run.out;
    EXPECT_THAT(run.out, HasSubstr("Couldn't load font.ttf with size:48")) << start.name;
  }
}

}  // namespace
