#include "app/warning_log.h"

#include <SDL.h>

#include <cstdarg>

#include "contract/run_contract.h"

void logWarning(const char* format, ...) {
  char text[SDL_MAX_LOG_MESSAGE];
  va_list arguments;
  va_start(arguments, format);
  SDL_vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  SDL_Log("%s%s", kWarningPrefix, text);
}
