// Preloaded into postergen by the benchmark: measures, without touching the
// program, where its time goes. At exit it appends one line to the file
// named by POSTERGEN_PHASES_FILE:
//   load=S decode=S upload=S compose=S readback=S drain=S deflate=S sync=S total=S
//   peak_rss_kib=K
// On the main thread, wall time: load, from the start of the process to
// the first poster's first drawing call, of which upload is the time
// inside SDL_CreateTextureFromSurface; compose, the poster loop to the last
// read-back less the read-backs; readback, inside SDL_RenderReadPixels;
// drain, from the last read-back to the end, waiting for the writers.
// Summed over every thread (decoding and writing run on workers): decode,
// inside IMG_Load and libjpeg's decoding calls (postergen decodes JPEGs
// with libjpeg itself); deflate, inside libdeflate_zlib_compress and
// igzip's isal_deflate_stateless; sync, inside fsync (each poster made
// durable before it is renamed).
// total: the whole process.
#include <SDL.h>
#include <SDL_image.h>
#include <dlfcn.h>
#include <jpeglib.h>
#include <libdeflate.h>
#ifdef POSTERGEN_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds added up from several threads, in nanoseconds.
struct Sum {
  std::atomic<long long> ns{0};
  void add(Clock::duration d) {
    ns += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  }
  double seconds() const { return ns.load() / 1e9; }
};

struct Phases {
  Clock::time_point start = Clock::now();
  Clock::time_point firstDraw{};
  Clock::time_point lastReadBack{};
  Sum decode, upload, readback, deflate, sync;

  ~Phases() {
    const char* path = std::getenv("POSTERGEN_PHASES_FILE");
    if (!path) return;
    const auto end = Clock::now();
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    const bool drew = firstDraw != Clock::time_point{};
    const double load = seconds((drew ? firstDraw : end) - start);
    const double loop = drew ? seconds(lastReadBack - firstDraw) : 0;
    const double drain = drew ? seconds(end - lastReadBack) : 0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (FILE* f = std::fopen(path, "a")) {
      std::fprintf(f,
                   "load=%.4f decode=%.4f upload=%.4f compose=%.4f readback=%.4f drain=%.4f "
                   "deflate=%.4f sync=%.4f total=%.4f peak_rss_kib=%ld\n",
                   load, decode.seconds(), upload.seconds(), loop - readback.seconds(),
                   readback.seconds(), drain, deflate.seconds(), sync.seconds(),
                   seconds(end - start), usage.ru_maxrss);
      std::fclose(f);
    }
  }
} phases;

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// Adds the time a call takes to total, and returns its result.
template <typename Call>
auto timed(Sum& total, Call call) {
  const auto begin = Clock::now();
  auto result = call();
  total.add(Clock::now() - begin);
  return result;
}

// libjpeg's calls count only when IMG_Load did not make them.
thread_local bool insideImgLoad = false;

template <typename Call>
auto jpegTimed(Call call) {
  if (insideImgLoad) return call();
  return timed(phases.decode, call);
}

}  // namespace

extern "C" {

// Each poster begins by clearing the canvas; loading draws too, but never
// clears.
int SDL_RenderClear(SDL_Renderer* renderer) {
  static auto next = real<decltype(&SDL_RenderClear)>("SDL_RenderClear");
  if (phases.firstDraw == Clock::time_point{}) phases.firstDraw = Clock::now();
  return next(renderer);
}

SDL_Surface* IMG_Load(const char* file) {
  static auto next = real<decltype(&IMG_Load)>("IMG_Load");
  insideImgLoad = true;
  SDL_Surface* surface = timed(phases.decode, [&] { return next(file); });
  insideImgLoad = false;
  return surface;
}

int jpeg_read_header(j_decompress_ptr cinfo, boolean image) {
  static auto next = real<decltype(&jpeg_read_header)>("jpeg_read_header");
  return jpegTimed([&] { return next(cinfo, image); });
}

boolean jpeg_start_decompress(j_decompress_ptr cinfo) {
  static auto next = real<decltype(&jpeg_start_decompress)>("jpeg_start_decompress");
  return jpegTimed([&] { return next(cinfo); });
}

JDIMENSION jpeg_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION count) {
  static auto next = real<decltype(&jpeg_read_scanlines)>("jpeg_read_scanlines");
  return jpegTimed([&] { return next(cinfo, rows, count); });
}

boolean jpeg_finish_decompress(j_decompress_ptr cinfo) {
  static auto next = real<decltype(&jpeg_finish_decompress)>("jpeg_finish_decompress");
  return jpegTimed([&] { return next(cinfo); });
}

SDL_Texture* SDL_CreateTextureFromSurface(SDL_Renderer* renderer, SDL_Surface* surface) {
  static auto next = real<decltype(&SDL_CreateTextureFromSurface)>("SDL_CreateTextureFromSurface");
  if (phases.firstDraw != Clock::time_point{}) return next(renderer, surface);
  return timed(phases.upload, [&] { return next(renderer, surface); });
}

int SDL_RenderReadPixels(SDL_Renderer* r, const SDL_Rect* rect, Uint32 format, void* pixels,
                         int pitch) {
  static auto next = real<decltype(&SDL_RenderReadPixels)>("SDL_RenderReadPixels");
  if (phases.firstDraw == Clock::time_point{}) return next(r, rect, format, pixels, pitch);
  const int result = timed(phases.readback, [&] { return next(r, rect, format, pixels, pitch); });
  phases.lastReadBack = Clock::now();
  return result;
}

size_t libdeflate_zlib_compress(libdeflate_compressor* c, const void* in, size_t inSize, void* out,
                                size_t outSize) {
  static auto next = real<decltype(&libdeflate_zlib_compress)>("libdeflate_zlib_compress");
  return timed(phases.deflate, [&] { return next(c, in, inSize, out, outSize); });
}

#ifdef POSTERGEN_HAVE_ISAL
int isal_deflate_stateless(isal_zstream* stream) {
  static auto next = real<decltype(&isal_deflate_stateless)>("isal_deflate_stateless");
  return timed(phases.deflate, [&] { return next(stream); });
}
#endif

int fsync(int fd) {
  static auto next = real<decltype(&fsync)>("fsync");
  return timed(phases.sync, [&] { return next(fd); });
}

}  // extern "C"
