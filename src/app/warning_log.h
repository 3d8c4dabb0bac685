// Warnings in the log: a problem with one input that the run goes on from.
// The batch files each under the item whose file it names first.
#ifndef POSTERGEN_APP_WARNING_LOG_H_
#define POSTERGEN_APP_WARNING_LOG_H_

#include <SDL.h>

// Logs kWarningPrefix (contract/run_contract.h), then the formatted text,
// which begins with the name of the file concerned.
void logWarning(SDL_PRINTF_FORMAT_STRING const char* format, ...) SDL_PRINTF_VARARG_FUNC(1);

#endif  // POSTERGEN_APP_WARNING_LOG_H_
