#include "app/stop_signals.h"

#include <SDL.h>

#include <csignal>

#include "poster/partial_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// Runs on a thread of its own. The process is ended here, with the status
// Windows gives a process stopped by Ctrl-C: the default handler would do
// the same on Windows, but ends it with status 0 under Wine.
BOOL WINAPI stopOnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  removePartialFiles();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}
#else
void stopOnSignal(int signal) {
  removePartialFiles();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
#endif

}  // namespace

void stopOnSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
#ifdef _WIN32
  SetConsoleCtrlHandler(stopOnConsoleEvent, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = stopOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}
