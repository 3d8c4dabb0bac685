// Runs the built postergen in a scratch working directory made of real files
// (TrueType font, PNG background, JPEG photographs, caption files) and
// captures what it leaves: exit status, standard output, log, files.
#ifndef POSTERGEN_TESTS_SUPPORT_SCRATCH_RUN_H_
#define POSTERGEN_TESTS_SUPPORT_SCRATCH_RUN_H_

#include <SDL.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The exit statuses as a waiting parent sees them (the low eight bits).
constexpr int kStatusUnloadable = -114514 & 0xFF;    // 174
constexpr int kStatusUnrenderable = -114515 & 0xFF;  // 173

// Sanitizer runtimes bring their own allocator, which the tracer's malloc
// cannot stand in front of: there it sees no pixel buffer.
#ifdef POSTERGEN_SANITIZED
constexpr bool kTracerSeesHeap = false;
#else
constexpr bool kTracerSeesHeap = true;
#endif

constexpr const char* kLatinFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kCjkFont = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

struct RunResult {
  int status = -1;   // exit status, or 128 + signal number
  long peakKib = 0;  // the child's peak resident memory
  std::string out;   // standard output
  std::string log;   // standard error, where SDL_Log writes
  // The log lines SDL_Log wrote, without their "INFO: " prefix; lines other
  // libraries print to standard error are left out.
  std::vector<std::string> logLines() const;
};

// The lines that begin with prefix, in order.
std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix);

// An RGBA colour, compared channel by channel within a tolerance.
struct Rgba {
  int r, g, b, a;
};
bool near(Rgba x, Rgba y, int tolerance);
std::string describe(Rgba c);

// Not an environment variable: given to run as one, it limits postergen to
// one CPU, as taskset -c would, so that it makes no worker threads.
constexpr const char* kOneCpu = "(one CPU)";

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string at(const std::string& name) const { return path_ + "/" + name; }

  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  void makeDirectory(const std::string& name) const;
  void copyFrom(const std::string& source, const std::string& name) const;
  // The names of the entries, hidden ones included, sorted.
  std::vector<std::string> entries() const;

  // A complete input set: font, 1080 x 1920 background, and for items 1..n a
  // caption and a solid photograph of (400 + i) x 300 in photoColour(i), so
  // that each photograph's texture can be told apart by its size.
  void populate(int items, int fontSize = 48) const;

  // Runs postergen here with extra environment variables set in the child.
  RunResult run(const std::map<std::string, std::string>& env = {}) const;

  // Runs postergen with the tracing library preloaded (see sdl_trace.cpp)
  // and returns the trace's lines in trace.
  RunResult runTraced(std::vector<std::string>& trace,
                      std::map<std::string, std::string> env = {}) const;

 private:
  std::string path_;
};

// A 32-bit RGBA surface of one colour; its quadrants in the four colours
// when quadrants are given (top-left, top-right, bottom-left, bottom-right).
Surface solidSurface(int w, int h, Rgba colour);
Surface quadrantSurface(int w, int h, const Rgba quadrants[4]);
// Photographic-looking content: smooth gradients with noise.
Surface noisySurface(int w, int h, uint32_t seed);

// Encodings SDL_image does not write, made with libjpeg directly: CMYK
// with Adobe's marker (inverted samples), as print workflows write it, and
// without (plain samples), and YCCK.
enum class JpegKind { kBaseline, kGrayscale, kProgressive, kCmyk, kCmykPlain, kYcck };
// Writes the surface as JPEG; app1, when not empty, is stored as an APP1
// segment (the EXIF block) right after the start of the file, and
// iccProfile, when not empty, in APP2 segments.
void saveJpegAs(const Surface& surface, const std::string& path, JpegKind kind,
                const std::string& app1 = "", const std::string& iccProfile = "");

// ICC profiles made with Little CMS: Adobe RGB (1998) and sRGB.
std::string adobeRgbProfile();
std::string srgbProfile();
// Display P3: DCI-P3 primaries, D65 white and the sRGB curve, as phones use.
std::string displayP3Profile();
// A CMYK profile whose colours are those of the uncalibrated formula with
// red and blue swapped, so that a picture converted through it is told
// from one converted by the formula.
std::string cmykProfileSwappingRedAndBlue();
// The surface's sRGB colours in the profile's colour space.
Surface inProfile(const Surface& srgb, const std::string& profile);
// PNG file bytes with the profile inserted as an iCCP chunk.
std::string withIccpChunk(const std::string& png, const std::string& profile);

// The payload of an EXIF APP1 segment whose first IFD holds one entry: the
// Orientation tag with the given value, in Intel or Motorola byte order.
std::string exifWithOrientation(int orientation, bool bigEndian = false);

// Image files whose headers claim any size: a PNG whose IHDR gives w x h
// followed by an empty image, and a small JPEG whose frame header is made
// to claim w x h. A few hundred bytes each.
std::string pngClaiming(uint32_t w, uint32_t h);
std::string jpegClaiming(uint16_t w, uint16_t h);

void savePng(const Surface& surface, const std::string& path);
#ifdef POSTERGEN_HAVE_HEIF
// Writes the surface as HEIC (x265) or AVIF (aom) with libheif's encoder,
// quality 90. orientation (2 to 8, as EXIF numbers them) is written as the
// file's own transformations (irot, imir); exifOrientation, when not 0, as
// an EXIF block holding that Orientation tag, as phones write both. The
// colours are described by iccProfile when given, else by an nclx box with
// nclxPrimaries (12: Display P3) and the sRGB curve when not 0. Samples
// have bitDepth bits (8, or 10 as phones' HDR photographs).
void saveHeif(const Surface& surface, const std::string& path, bool avif, int orientation = 1,
              int exifOrientation = 0, const std::string& iccProfile = "", int nclxPrimaries = 0,
              int bitDepth = 8);
#endif
void saveJpeg(const Surface& surface, const std::string& path, int quality = 95);

// Loads an image and converts it to ABGR8888 for pixel access.
Surface loadRgba(const std::string& path);
Rgba pixelAt(const Surface& s, int x, int y);

// The colour each generated photograph of item i is filled with.
Rgba photoColour(int item);

#endif  // POSTERGEN_TESTS_SUPPORT_SCRATCH_RUN_H_
