// Feeds arbitrary bytes to the run-configuration reader. Besides crashes and
// sanitizer reports, it checks what the reader promises: a font size is only
// ever read after a count, and an unreadable count leaves both at 0.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/run_configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  int32_t itemCount = 0;
  int32_t fontSize = 0;
  readRunConfigurationFrom(in, itemCount, fontSize);
  std::istringstream again(std::string(reinterpret_cast<const char*>(data), size));
  int64_t first = 0;
  const bool countRead =
      static_cast<bool>(again >> first) || first != 0;  // clamped values also fail the stream
  if (!countRead && (itemCount != 0 || fontSize != 0)) std::abort();
  return 0;
}
