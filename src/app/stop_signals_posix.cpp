#include <SDL.h>

#include <csignal>

#include "app/stop_signals.h"
#include "platform/whole_file.h"

namespace {

void stopOnSignal(int signal) {
  removePartialFiles();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void stopOnSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction action {};
  action.sa_handler = stopOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}
