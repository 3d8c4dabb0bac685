// Every way an export can end — success and each failing step — logs its
// message, leaves no temporary texture, surface or pixel buffer behind, and
// lets the next poster be written. Failures are injected and the objects
// counted by the preloaded tracer, from outside the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/scratch_run.h"

namespace {

using testing::HasSubstr;

struct ExportPath {
  const char* name;
  const char* fail;  // POSTERGEN_FAIL: which call fails, counted from the start
  const char* message;
};

// Calls before the first export: the photograph's and the caption's size
// queries, the canvas creation, the first target switch, three copies.
const ExportPath kPaths[] = {
    {"Success", "", "Saved texture as PNG to \"result1.png\""},
    {"QueryTexture", "SDL_QueryTexture:3", "Failed querying texture: injected failure"},
    {"CreateTexture", "SDL_CreateTexture:2", "Failed creating render texture: injected failure"},
    {"SetRenderTarget", "SDL_SetRenderTarget:2", "Failed setting render target: injected failure"},
    {"RenderCopy", "SDL_RenderCopy:4", "Failed copying texture data: injected failure"},
    {"Allocate", "malloc:1", "Failed allocating memory"},
    {"ReadPixels", "SDL_RenderReadPixels:1", "Failed reading pixel data: injected failure"},
    // On the writer's thread, after the pixels were handed over.
    {"Deflate", "libdeflate_alloc_compressor:1", "Failed allocating memory"},
    // A write that fails as on a full disk, whatever the file system.
    {"WriteFails", "fwrite:3", "Failed saving image: result1.png: No space left on device"},
};

std::vector<std::string> checkpoints(const std::vector<std::string>& trace, const std::string& at) {
  std::vector<std::string> found;
  for (const auto& line : trace)
    if (line.rfind("checkpoint " + at + " ", 0) == 0)
      found.push_back(line.substr(line.find(' ', 11) + 1));
  return found;
}

// Partial files left by an export, which would all start so.
std::vector<std::string> partialFiles(const ScratchDir& dir) {
  std::vector<std::string> partial;
  for (const auto& name : dir.entries())
    if (name.rfind(".result", 0) == 0) partial.push_back(name);
  return partial;
}

void PrintTo(const ExportPath& c, std::ostream* os) { *os << c.name; }

class ExportPaths : public testing::TestWithParam<std::tuple<ExportPath, const char*>> {};

TEST_P(ExportPaths, LogTheOutcomeAndReleaseEverything) {
  const auto& [path, driver] = GetParam();
  if (!kTracerSeesHeap && std::string(path.name) == "Allocate")
    GTEST_SKIP() << "the sanitizer's allocator hides the pixel buffer";
  ScratchDir dir;
  dir.populate(2);
  std::map<std::string, std::string> env = {
      {"POSTERGEN_TRACE_BUFFER_BYTES", std::to_string((2160 * 4 + 1) * 3840)}};
  if (*path.fail) env["POSTERGEN_FAIL"] = path.fail;
  env["POSTERGEN_FAIL_FILE"] = ".result1.png.";
  if (*driver) env["SDL_VIDEODRIVER"] = driver;
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(trace, env);
  ASSERT_EQ(run.status, 0) << run.log;
  const auto lines = run.logLines();
  ASSERT_EQ(lines.size(), 6u) << run.log;
  EXPECT_EQ(lines[4], path.message);
  EXPECT_EQ(lines[5], "Saved texture as PNG to \"result2.png\"");
  EXPECT_EQ(dir.exists("result1.png"), std::string(path.name) == "Success");
  EXPECT_THAT(partialFiles(dir), testing::IsEmpty());
  EXPECT_TRUE(loadRgba(dir.at("result2.png")));

  // Item 2 begins with what item 1 was presented with: bg, canvas, two
  // photographs and one caption texture; no surface. Item 1's pixels may
  // still be with a writer.
  using testing::StartsWith;
  EXPECT_THAT(checkpoints(trace, "SDL_RenderPresent"),
              testing::Each(StartsWith("textures=5 surfaces=0 ")));
  EXPECT_THAT(checkpoints(trace, "TTF_RenderUTF8_Solid_Wrapped"),
              testing::ElementsAre("textures=4 surfaces=0 buffers=0",
                                   StartsWith("textures=5 surfaces=0 ")));
  // Once the writers are done, every buffer is gone.
  EXPECT_THAT(checkpoints(trace, "TTF_CloseFont"),
              testing::ElementsAre("textures=0 surfaces=0 buffers=0"));
  // While a poster is read back, its temporary texture and buffer are alive
  // and seen: the zero counts above are not for want of looking.
  // (Item 1's pixels may still be with a writer as item 2's are read.)
  for (const auto& reading : checkpoints(trace, "SDL_RenderReadPixels")) {
    if (kTracerSeesHeap)
      EXPECT_THAT(reading, testing::AnyOf("textures=6 surfaces=0 buffers=1",
                                          "textures=6 surfaces=0 buffers=2"));
    else
      EXPECT_EQ(reading, "textures=6 surfaces=0 buffers=0");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Export, ExportPaths, testing::Combine(testing::ValuesIn(kPaths), testing::Values("", "dummy")),
    [](const testing::TestParamInfo<std::tuple<ExportPath, const char*>>& info) {
      const char* driver = std::get<1>(info.param);
      return std::string(std::get<0>(info.param).name) +
             (*driver ? std::string("_") + driver : std::string("_default"));
    });

namespace fs = std::filesystem;

// A signal in the middle of an encoding ends the run by that signal: the
// posters saved before stay whole, those in progress (another writer may
// be writing the poster before) leave nothing. The signal is the process's:
// while the thread that handles it waits for a CPU, the writer that raised
// it may finish its poster, which is then whole.
class StopSignals : public testing::TestWithParam<int> {};

TEST_P(StopSignals, EndTheRunAndRemoveThePartialFile) {
  const int sig = GetParam();
  ScratchDir dir;
  dir.populate(3);
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(
      trace, {{"SDL_VIDEODRIVER", "dummy"}, {"POSTERGEN_SIGNAL", std::to_string(sig) + ":2"}});
  EXPECT_EQ(run.status, 128 + sig) << run.log;
  const auto saved = linesStartingWith(run.logLines(), "Saved");
  const std::vector<std::string> inOrder = {"Saved texture as PNG to \"result1.png\"",
                                            "Saved texture as PNG to \"result2.png\""};
  ASSERT_LE(saved.size(), inOrder.size());
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), inOrder.begin())) << run.log;
  for (size_t i = 0; i < saved.size(); ++i)
    EXPECT_TRUE(dir.exists("result" + std::to_string(i + 1) + ".png"));
  // A poster on disk is whole, logged or not (the run may end before a
  // later poster's turn in the log comes).
  for (const char* name : {"result1.png", "result2.png", "result3.png"})
    EXPECT_TRUE(!dir.exists(name) || loadRgba(dir.at(name))) << name;
  EXPECT_THAT(partialFiles(dir), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Export, StopSignals, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

// A poster path that is a link is replaced by the poster, and the poster
// gets the permissions of a file made with fopen, not those of a
// temporary file.
TEST(ExportFile, ReplacesALinkAndGetsPlainPermissions) {
  ScratchDir dir;
  dir.populate(1);
  dir.write("kept.txt", "not a poster");
  fs::create_symlink("kept.txt", dir.at("result1.png"));
  const mode_t mask = umask(0);
  umask(mask);
  const RunResult run = dir.run({{"SDL_VIDEODRIVER", "dummy"}});
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_EQ(dir.read("kept.txt"), "not a poster");
  const auto status = fs::symlink_status(dir.at("result1.png"));
  EXPECT_EQ(status.type(), fs::file_type::regular);
  EXPECT_EQ(static_cast<mode_t>(status.permissions()), 0666 & ~mask);
  EXPECT_TRUE(loadRgba(dir.at("result1.png")));
}

// A disk that fills up: no poster is reported saved, the poster that was
// there before is untouched, and no partial file is left. Needs a small
// file system of its own, so root; elsewhere the injected failure of
// ExportPaths/WriteFails stands in.
TEST(ExportFile, FullDiskKeepsTheEarlierPoster) {
  ScratchDir dir;
  const std::string mount = "mount -t tmpfs -o size=2m tmpfs " + dir.path() + " 2>/dev/null";
  if (geteuid() != 0 || std::system(mount.c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  dir.populate(2);
  const std::string earlier = dir.read("city_photo1.jpeg");
  dir.write("result1.png", earlier);
  // Fill the disk to within a few kilobytes.
  std::ofstream filler(dir.at("filler"), std::ios::binary);
  const std::string block(4096, 'x');
  while (filler.write(block.data(), block.size())) {
  }
  filler.close();
  const RunResult run = dir.run({{"SDL_VIDEODRIVER", "dummy"}});
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(linesStartingWith(run.logLines(), "Failed saving image: "),
              testing::ElementsAre("Failed saving image: result1.png: No space left on device",
                                   "Failed saving image: result2.png: No space left on device"));
  EXPECT_THAT(linesStartingWith(run.logLines(), "Saved"), testing::IsEmpty());
  EXPECT_EQ(dir.read("result1.png"), earlier);
  EXPECT_FALSE(dir.exists("result2.png"));
  EXPECT_THAT(partialFiles(dir), testing::IsEmpty());
  std::system(("umount " + dir.path()).c_str());
}

}  // namespace
