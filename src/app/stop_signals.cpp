#include "app/stop_signals.h"

#include <SDL.h>

#include <csignal>

#include "poster/partial_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// Runs on a thread of its own. Returning FALSE hands the event on to the
// default handler, which ends the process as Ctrl-C does.
BOOL WINAPI stopOnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT)
    removePartialFile();
  return FALSE;
}
#else
void stopOnSignal(int signal) {
  removePartialFile();
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
