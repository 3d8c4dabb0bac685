#include "app/run_configuration.h"

#include <locale>

void readRunConfigurationFrom(std::istream& in, int32_t& itemCount, int32_t& fontSize) {
  in.imbue(std::locale::classic());
  // Once a read fails or meets the end of the file, the stream's sentry
  // refuses every later read and the field keeps its value.
  in >> itemCount;
  in >> fontSize;
}
