// Feeds arbitrary bytes, as a poster file, to the contact sheet's thumbnail
// maker: postergen's own PNG reader first, libpng for other PNGs. Besides
// crashes and sanitizer reports, it checks what the maker promises: a
// thumbnail of at least one pixel a side, or none and a reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "thumbnail/thumbnail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  const Thumbnail thumbnail = makeThumbnail(file);
  std::fclose(file);
  if (thumbnail.jpeg.empty() == thumbnail.problem.empty()) std::abort();
  if (!thumbnail.jpeg.empty() && (thumbnail.width < 1 || thumbnail.height < 1)) std::abort();
  return 0;
}
