// postergen: composes one poster per item in the working directory.
#include <SDL.h>

#include "app/app_state.h"
#include "app/lifecycle.h"
#include "poster/compose.h"
#include "poster/export_queue.h"

int main(int, char**) {
  initialize();
  startPosterWriters(AppState::itemCount);
  for (int item = 1; item <= AppState::itemCount; ++item) composePoster(item);
  finishPosterWrites();
  shutDown();
  return 0;
}
