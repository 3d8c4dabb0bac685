#include <SDL.h>
#include <windows.h>

#include "app/stop_signals.h"
#include "platform/whole_file.h"

namespace {

// Runs on a thread of its own. The process is ended here, with the status
// Windows gives a process stopped by Ctrl-C: the default handler would do
// the same on Windows, but ends it with status 0 under Wine.
BOOL WINAPI stopOnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  removePartialFiles();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace

void stopOnSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SetConsoleCtrlHandler(stopOnConsoleEvent, TRUE);
}
