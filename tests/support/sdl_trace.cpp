// A preloaded library that watches postergen from outside: it interposes the
// SDL, SDL_image and SDL_ttf calls that create and release textures,
// surfaces and the export's pixel buffer, and writes one line per event to
// the file named by POSTERGEN_TRACE_FILE:
//   create WxH                            a texture made
//   destroy WxH | destroy null            a texture handed to SDL_DestroyTexture
//   checkpoint NAME textures=T surfaces=S buffers=B
//                                         live counts on entry to NAME
//   fail NAME                             an injected failure
//   open NAME                             a file of the working directory
//                                         opened for reading by its relative
//                                         name (fopen, open, openat and
//                                         their 64 forms)
// POSTERGEN_FAIL="NAME:N" makes the N-th call of NAME fail as SDL would,
// with POSTERGEN_FAIL_TEXT (or "injected failure") as SDL's error text.
// With POSTERGEN_FAIL_FILE, fwrite counts only the calls on the file whose
// name contains it: the writers write their posters side by side.
// POSTERGEN_SIGNAL="SIG:N" sends the process signal number SIG from inside
// the first write to poster N's partial file (.resultN.png.<...>.partial),
// once it exists, on the writer thread that made it.
// Buffers are heap blocks of exactly POSTERGEN_TRACE_BUFFER_BYTES bytes,
// taken from whichever allocator the program would use (jemalloc or the C
// library's): malloc and free are handed on to it.
// Posters are encoded on worker threads, so the tables are locked.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A spin lock, which takes no memory from the heap the tracer watches.
std::atomic_flag busy = ATOMIC_FLAG_INIT;
struct Locked {
  Locked() {
    while (busy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~Locked() { busy.clear(std::memory_order_release); }
};

// Fixed tables: the tracer must not allocate from the heap it watches.
constexpr int kSlots = 4096;
struct LiveSet {
  const void* items[kSlots] = {};
  int count = 0;
  void add(const void* p) {
    Locked lock;
    for (const void* item : items)
      if (item == p) return;
    for (auto& slot : items)
      if (!slot) {
        slot = p;
        ++count;
        return;
      }
  }
  void remove(const void* p) {
    if (!p) return;
    Locked lock;
    for (auto& slot : items)
      if (slot == p) {
        slot = nullptr;
        --count;
        return;
      }
  }
};

LiveSet textures, surfaces, buffers;
bool buffersReady = false;
size_t bufferBytes = 0;

// The allocator's malloc and free, found on first use. dlsym may itself
// allocate: what it asks for meanwhile comes from a small static arena.
using MallocFunction = void* (*)(size_t);
using FreeFunction = void (*)(void*);
MallocFunction nextMalloc = nullptr;
FreeFunction nextFree = nullptr;
std::atomic<bool> resolving{false};
alignas(16) char arena[16384];
std::atomic<size_t> arenaUsed{0};

bool inArena(const void* p) { return p >= arena && p < arena + sizeof arena; }

void* fromArena(size_t size) {
  const size_t at = arenaUsed.fetch_add((size + 15) & ~size_t{15});
  return at + size <= sizeof arena ? arena + at : nullptr;
}

void findAllocator() {
  if (nextMalloc) return;
  Locked lock;
  if (nextMalloc) return;
  resolving = true;
  nextFree = reinterpret_cast<FreeFunction>(dlsym(RTLD_NEXT, "free"));
  auto found = reinterpret_cast<MallocFunction>(dlsym(RTLD_NEXT, "malloc"));
  resolving = false;
  nextMalloc = found;
}

void emit(const char* line) {
  static int fd = -2;
  if (fd == -2) {
    const char* path = getenv("POSTERGEN_TRACE_FILE");
    fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
  }
  if (fd >= 0 && write(fd, line, strlen(line)) < 0) fd = -1;
}

void checkpoint(const char* name) {
  Locked lock;
  char line[160];
  snprintf(line, sizeof line, "checkpoint %s textures=%d surfaces=%d buffers=%d\n", name,
           textures.count, surfaces.count, buffers.count);
  emit(line);
}

// True when this call of name is the one POSTERGEN_FAIL asks to fail.
bool injectFailure(const char* name) {
  Locked lock;
  static char target[64];
  static long when = -1;
  static long calls = 0;
  if (when == -1) {
    when = 0;
    const char* request = getenv("POSTERGEN_FAIL");
    const char* colon = request ? strchr(request, ':') : nullptr;
    if (colon && size_t(colon - request) < sizeof target) {
      memcpy(target, request, colon - request);
      when = atol(colon + 1);
    }
  }
  if (when <= 0 || strcmp(name, target) != 0 || ++calls != when) return false;
  char line[96];
  snprintf(line, sizeof line, "fail %s\n", name);
  emit(line);
  return true;
}

// Sets SDL's error text for an injected failure: POSTERGEN_FAIL_TEXT, or
// "injected failure". Returns -1 as SDL_SetError does.
int injectedError() {
  const char* text = getenv("POSTERGEN_FAIL_TEXT");
  return SDL_SetError("%s", text ? text : "injected failure");
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

#define REAL(name) static auto real_##name = real<decltype(&name)>(#name)

SDL_Surface* trackSurface(SDL_Surface* s) {
  if (s) surfaces.add(s);
  return s;
}

SDL_Texture* trackTexture(SDL_Texture* t) {
  REAL(SDL_QueryTexture);
  int w = 0, h = 0;
  if (!t || real_SDL_QueryTexture(t, nullptr, nullptr, &w, &h) != 0) return t;
  textures.add(t);
  char line[64];
  snprintf(line, sizeof line, "create %dx%d\n", w, h);
  emit(line);
  return t;
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  if (!buffersReady) {
    buffersReady = true;
    const char* bytes = getenv("POSTERGEN_TRACE_BUFFER_BYTES");
    bufferBytes = bytes ? strtoul(bytes, nullptr, 10) : 0;
  }
  if (resolving) return fromArena(size);
  findAllocator();
  if (bufferBytes && size == bufferBytes && injectFailure("malloc")) return nullptr;
  void* p = nextMalloc(size);
  if (p && bufferBytes && size == bufferBytes) buffers.add(p);
  return p;
}

void free(void* p) {
  if (!p || inArena(p)) return;
  if (buffers.count) buffers.remove(p);
  findAllocator();
  nextFree(p);
}

SDL_Texture* SDL_CreateTexture(SDL_Renderer* r, Uint32 format, int access, int w, int h) {
  REAL(SDL_CreateTexture);
  if (injectFailure("SDL_CreateTexture")) {
    injectedError();
    return nullptr;
  }
  return trackTexture(real_SDL_CreateTexture(r, format, access, w, h));
}

SDL_Texture* SDL_CreateTextureFromSurface(SDL_Renderer* r, SDL_Surface* s) {
  REAL(SDL_CreateTextureFromSurface);
  if (injectFailure("SDL_CreateTextureFromSurface")) {
    injectedError();
    return nullptr;
  }
  return trackTexture(real_SDL_CreateTextureFromSurface(r, s));
}

void SDL_DestroyTexture(SDL_Texture* t) {
  REAL(SDL_DestroyTexture);
  REAL(SDL_QueryTexture);
  char line[64];
  int w = 0, h = 0;
  if (!t) {
    snprintf(line, sizeof line, "destroy null\n");
  } else if (real_SDL_QueryTexture(t, nullptr, nullptr, &w, &h) == 0) {
    snprintf(line, sizeof line, "destroy %dx%d\n", w, h);
  } else {
    snprintf(line, sizeof line, "destroy invalid\n");
  }
  emit(line);
  textures.remove(t);
  real_SDL_DestroyTexture(t);
}

int SDL_QueryTexture(SDL_Texture* t, Uint32* format, int* access, int* w, int* h) {
  REAL(SDL_QueryTexture);
  if (injectFailure("SDL_QueryTexture")) return injectedError();
  return real_SDL_QueryTexture(t, format, access, w, h);
}

int SDL_SetRenderTarget(SDL_Renderer* r, SDL_Texture* t) {
  REAL(SDL_SetRenderTarget);
  if (injectFailure("SDL_SetRenderTarget")) return injectedError();
  return real_SDL_SetRenderTarget(r, t);
}

int SDL_RenderCopy(SDL_Renderer* r, SDL_Texture* t, const SDL_Rect* src, const SDL_Rect* dst) {
  REAL(SDL_RenderCopy);
  if (injectFailure("SDL_RenderCopy")) return injectedError();
  return real_SDL_RenderCopy(r, t, src, dst);
}

void SDL_RenderPresent(SDL_Renderer* r) {
  REAL(SDL_RenderPresent);
  checkpoint("SDL_RenderPresent");
  real_SDL_RenderPresent(r);
}

SDL_Surface* SDL_CreateRGBSurfaceWithFormatFrom(void* pixels, int w, int h, int depth, int pitch,
                                                Uint32 format) {
  REAL(SDL_CreateRGBSurfaceWithFormatFrom);
  return trackSurface(real_SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, depth, pitch, format));
}

SDL_Surface* SDL_CreateRGBSurfaceWithFormat(Uint32 flags, int w, int h, int depth, Uint32 format) {
  REAL(SDL_CreateRGBSurfaceWithFormat);
  return trackSurface(real_SDL_CreateRGBSurfaceWithFormat(flags, w, h, depth, format));
}

SDL_Surface* SDL_CreateRGBSurface(Uint32 flags, int w, int h, int depth, Uint32 rm, Uint32 gm,
                                  Uint32 bm, Uint32 am) {
  REAL(SDL_CreateRGBSurface);
  return trackSurface(real_SDL_CreateRGBSurface(flags, w, h, depth, rm, gm, bm, am));
}

SDL_Surface* SDL_CreateRGBSurfaceFrom(void* pixels, int w, int h, int depth, int pitch, Uint32 rm,
                                      Uint32 gm, Uint32 bm, Uint32 am) {
  REAL(SDL_CreateRGBSurfaceFrom);
  return trackSurface(real_SDL_CreateRGBSurfaceFrom(pixels, w, h, depth, pitch, rm, gm, bm, am));
}

SDL_Surface* SDL_ConvertSurface(SDL_Surface* s, const SDL_PixelFormat* f, Uint32 flags) {
  REAL(SDL_ConvertSurface);
  return trackSurface(real_SDL_ConvertSurface(s, f, flags));
}

SDL_Surface* SDL_ConvertSurfaceFormat(SDL_Surface* s, Uint32 format, Uint32 flags) {
  REAL(SDL_ConvertSurfaceFormat);
  return trackSurface(real_SDL_ConvertSurfaceFormat(s, format, flags));
}

SDL_Surface* SDL_DuplicateSurface(SDL_Surface* s) {
  REAL(SDL_DuplicateSurface);
  return trackSurface(real_SDL_DuplicateSurface(s));
}

void SDL_FreeSurface(SDL_Surface* s) {
  REAL(SDL_FreeSurface);
  surfaces.remove(s);
  real_SDL_FreeSurface(s);
}

// Set, on the thread that runs it, while the encoding that POSTERGEN_SIGNAL
// names runs.
static thread_local int signalDuringEncoding = 0;

// Each poster's encoding takes one compressor.
libdeflate_compressor* libdeflate_alloc_compressor(int level) {
  REAL(libdeflate_alloc_compressor);
  checkpoint("libdeflate_alloc_compressor");
  if (injectFailure("libdeflate_alloc_compressor")) return nullptr;
  return real_libdeflate_alloc_compressor(level);
}

}  // extern "C"

namespace {

// Traces a file of the working directory opened for reading (the libraries'
// own files have absolute paths), and arms the signal when the thread
// creates the partial file of the poster POSTERGEN_SIGNAL names. The line
// is made on the stack: opens happen inside allocators too.
void watchOpen(const char* path, bool reading) {
  if (reading && path[0] != '/') {
    char line[4200];
    snprintf(line, sizeof line, "open %s\n", path);
    Locked lock;
    emit(line);  // opens the trace file for writing: not traced again
    return;
  }
  int sig = 0;
  int at = 0;
  const char* request = getenv("POSTERGEN_SIGNAL");
  char name[32];
  if (request && sscanf(request, "%d:%d", &sig, &at) == 2) {
    snprintf(name, sizeof name, ".result%d.png.", at);
    if (strstr(path, name) && strstr(path, ".partial")) signalDuringEncoding = sig;
  }
}

bool reads(int flags) { return (flags & O_ACCMODE) == O_RDONLY; }
bool reads(const char* mode) { return mode[0] == 'r' && !strchr(mode, '+'); }

// The mode argument that follows flags that create a file.
mode_t modeAfter(int flags, va_list args) {
  const bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
  return creates ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// Whether file's name contains part (any file when part is null).
bool writesTo(FILE* file, const char* part) {
  if (!part) return true;
  char link[64];
  char name[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(file));
  const ssize_t n = readlink(link, name, sizeof name - 1);
  if (n < 0) return false;
  name[n] = '\0';
  return strstr(name, part) != nullptr;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  REAL(open);
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeAfter(flags, args);
  va_end(args);
  watchOpen(path, reads(flags));
  return real_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  REAL(open64);
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeAfter(flags, args);
  va_end(args);
  watchOpen(path, reads(flags));
  return real_open64(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  REAL(openat);
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeAfter(flags, args);
  va_end(args);
  watchOpen(path, reads(flags));
  return real_openat(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  REAL(openat64);
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeAfter(flags, args);
  va_end(args);
  watchOpen(path, reads(flags));
  return real_openat64(dir, path, flags, mode);
}

FILE* fopen(const char* path, const char* mode) {
  REAL(fopen);
  watchOpen(path, reads(mode));
  return real_fopen(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  REAL(fopen64);
  watchOpen(path, reads(mode));
  return real_fopen64(path, mode);
}

int SDL_RenderReadPixels(SDL_Renderer* r, const SDL_Rect* rect, Uint32 format, void* pixels,
                         int pitch) {
  REAL(SDL_RenderReadPixels);
  checkpoint("SDL_RenderReadPixels");
  if (injectFailure("SDL_RenderReadPixels")) return injectedError();
  return real_SDL_RenderReadPixels(r, rect, format, pixels, pitch);
}

// Fails as a full disk does, with ENOSPC.
size_t fwrite(const void* data, size_t size, size_t count, FILE* file) {
  REAL(fwrite);
  if (signalDuringEncoding) kill(getpid(), signalDuringEncoding);
  if (writesTo(file, getenv("POSTERGEN_FAIL_FILE")) && injectFailure("fwrite")) {
    errno = ENOSPC;
    return 0;
  }
  return real_fwrite(data, size, count, file);
}

SDL_Surface* TTF_RenderUTF8_Solid_Wrapped(TTF_Font* font, const char* text, SDL_Color fg,
                                          Uint32 wrap) {
  REAL(TTF_RenderUTF8_Solid_Wrapped);
  checkpoint("TTF_RenderUTF8_Solid_Wrapped");
  if (injectFailure("TTF_RenderUTF8_Solid_Wrapped")) {
    injectedError();
    return nullptr;
  }
  return trackSurface(real_TTF_RenderUTF8_Solid_Wrapped(font, text, fg, wrap));
}

void TTF_CloseFont(TTF_Font* font) {
  REAL(TTF_CloseFont);
  checkpoint("TTF_CloseFont");
  real_TTF_CloseFont(font);
}

}  // extern "C"
