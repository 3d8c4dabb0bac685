#include "app/worker_threads.h"

#include <SDL.h>

#include <system_error>

std::vector<std::thread> startWorkers(int count, void (*run)()) {
  std::vector<std::thread> workers;
  workers.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  for (int i = 0; i < count; ++i) {
    try {
      workers.emplace_back([run] {
        run();
        SDL_TLSCleanup();
      });
    } catch (const std::system_error&) {
      break;  // the threads there are will do
    }
  }
  return workers;
}
