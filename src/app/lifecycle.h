// Start-up and shut-down of a run.
#ifndef POSTERGEN_APP_LIFECYCLE_H_
#define POSTERGEN_APP_LIFECYCLE_H_

// Brings up SDL, SDL_ttf and SDL_image, reads the run configuration, opens
// the font, creates the window, renderer, background and canvas, and loads
// every item's caption and photograph. Ends the process when an input
// cannot be loaded.
void initialize();

// Destroys every registered texture, then the font, renderer and window, and
// shuts the libraries down.
void shutDown();

#endif  // POSTERGEN_APP_LIFECYCLE_H_
