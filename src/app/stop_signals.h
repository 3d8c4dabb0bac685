// Lets a person, a timeout or a scheduler stop a run at once: on SIGINT,
// SIGTERM or SIGHUP (Ctrl-C or Ctrl-Break on Windows) the export in progress
// is abandoned, its partial file removed, and the process ends by that
// signal. Posters already written stay.
#ifndef POSTERGEN_APP_STOP_SIGNALS_H_
#define POSTERGEN_APP_STOP_SIGNALS_H_

// Tells SDL to leave the signals alone (it would turn them into quit
// events, which a run never reads) and installs the handlers. Call before
// SDL_Init.
void stopOnSignals();

#endif  // POSTERGEN_APP_STOP_SIGNALS_H_
