// Feeds arbitrary bytes to the image header reader. Besides crashes and
// sanitizer reports, it checks what the reader promises: a header is either
// read with a size of at least one pixel a side, or refused with a reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resources/image_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  const ImageHeader header = readImageHeader(file);
  std::fclose(file);
  using Outcome = ImageHeader::Outcome;
  if (header.outcome == Outcome::kRead && (header.width < 1 || header.height < 1)) std::abort();
  if (header.outcome == Outcome::kUnreadable && header.problem.empty()) std::abort();
  if (header.outcome == Outcome::kUnopenable) std::abort();
  return 0;
}
