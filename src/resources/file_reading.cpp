#include "resources/file_reading.h"

#include <climits>

int64_t fileOffset(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);  // a long has 32 bits there
#else
  return std::ftell(file);
#endif
}

int seekFile(std::FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, offset, whence);
#else
  if (offset < LONG_MIN || offset > LONG_MAX) return -1;
  return std::fseek(file, static_cast<long>(offset), whence);
#endif
}

int64_t fileSize(std::FILE* file) {
  const int64_t at = fileOffset(file);
  if (at < 0 || seekFile(file, 0, SEEK_END) != 0) return -1;
  const int64_t size = fileOffset(file);
  return seekFile(file, at, SEEK_SET) == 0 ? size : -1;
}

namespace {

std::FILE* fileOf(SDL_RWops* rw) { return static_cast<std::FILE*>(rw->hidden.unknown.data1); }

// The errors SDL's own stdio SDL_RWops sets, so that a decoder's message
// reads as it did when SDL_image opened the file itself.
Sint64 seekIn(SDL_RWops* rw, Sint64 offset, int whence) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (whence < RW_SEEK_SET || whence > RW_SEEK_END)
    return SDL_SetError("Unknown value for 'whence'");
  if (seekFile(fileOf(rw), offset, kWhence[whence]) != 0) return SDL_Error(SDL_EFSEEK);
  const int64_t at = fileOffset(fileOf(rw));
  return at < 0 ? SDL_SetError("Couldn't get stream offset") : at;
}

Sint64 sizeOf(SDL_RWops* rw) {
  const Sint64 at = seekIn(rw, 0, RW_SEEK_CUR);
  if (at < 0) return -1;
  const Sint64 size = seekIn(rw, 0, RW_SEEK_END);
  seekIn(rw, at, RW_SEEK_SET);
  return size;
}

size_t readFrom(SDL_RWops* rw, void* data, size_t size, size_t count) {
  const size_t read = std::fread(data, size, count, fileOf(rw));
  if (read == 0 && std::ferror(fileOf(rw))) SDL_Error(SDL_EFREAD);
  return read;
}

size_t writeTo(SDL_RWops*, const void*, size_t, size_t) {
  SDL_Error(SDL_EFWRITE);
  return 0;
}

int closeLeavingFile(SDL_RWops* rw) {
  SDL_FreeRW(rw);
  return 0;
}

}  // namespace

SDL_RWops* readingRWops(std::FILE* file) {
  SDL_RWops* rw = SDL_AllocRW();
  if (!rw) return nullptr;
  rw->size = sizeOf;
  rw->seek = seekIn;
  rw->read = readFrom;
  rw->write = writeTo;
  rw->close = closeLeavingFile;
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = file;
  return rw;
}
