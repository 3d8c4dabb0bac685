// Every way an export can end — success and each failing step — logs its
// message, leaves no temporary texture, surface or pixel buffer behind, and
// lets the next poster be written. Failures are injected and the objects
// counted by the preloaded tracer, from outside the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    // The caption raster is the first surface made over existing pixels.
    {"CreateSurface", "SDL_CreateRGBSurfaceWithFormatFrom:2",
     "Failed creating new surface: injected failure"},
    {"SavePng", "IMG_SavePNG:1", "Failed saving image: injected failure"},
};

std::vector<std::string> checkpoints(const std::vector<std::string>& trace, const std::string& at) {
  std::vector<std::string> found;
  for (const auto& line : trace)
    if (line.rfind("checkpoint " + at + " ", 0) == 0)
      found.push_back(line.substr(line.find(' ', 11) + 1));
  return found;
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
      {"POSTERGEN_TRACE_BUFFER_BYTES", std::to_string(2160 * 3840 * 4)}};
  if (*path.fail) env["POSTERGEN_FAIL"] = path.fail;
  if (*driver) env["SDL_VIDEODRIVER"] = driver;
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(trace, env);
  ASSERT_EQ(run.status, 0) << run.log;
  const auto lines = run.logLines();
  ASSERT_EQ(lines.size(), 6u) << run.log;
  EXPECT_EQ(lines[4], path.message);
  EXPECT_EQ(lines[5], "Saved texture as PNG to \"result2.png\"");
  EXPECT_EQ(dir.exists("result1.png"), std::string(path.name) == "Success");
  EXPECT_TRUE(loadRgba(dir.at("result2.png")));

  // Item 2 begins with what item 1 was presented with: bg, canvas, two
  // photographs and one caption texture; no surface, no buffer.
  EXPECT_THAT(checkpoints(trace, "SDL_RenderPresent"),
              testing::Each("textures=5 surfaces=0 buffers=0"));
  EXPECT_THAT(
      checkpoints(trace, "TTF_RenderUTF8_Solid_Wrapped"),
      testing::ElementsAre("textures=4 surfaces=0 buffers=0", "textures=5 surfaces=0 buffers=0"));
  EXPECT_THAT(checkpoints(trace, "TTF_CloseFont"),
              testing::ElementsAre("textures=0 surfaces=0 buffers=0"));
  // While a PNG is written, its temporary texture, surface and buffer are
  // alive and seen: the zero counts above are not for want of looking.
  const std::string buffers = kTracerSeesHeap ? "1" : "0";
  for (const auto& saving : checkpoints(trace, "IMG_SavePNG"))
    EXPECT_EQ(saving, "textures=6 surfaces=1 buffers=" + buffers);
}

INSTANTIATE_TEST_SUITE_P(
    Export, ExportPaths, testing::Combine(testing::ValuesIn(kPaths), testing::Values("", "dummy")),
    [](const testing::TestParamInfo<std::tuple<ExportPath, const char*>>& info) {
      const char* driver = std::get<1>(info.param);
      return std::string(std::get<0>(info.param).name) +
             (*driver ? std::string("_") + driver : std::string("_default"));
    });

}  // namespace
