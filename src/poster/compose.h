// Draws one poster on the canvas and exports it.
#ifndef POSTERGEN_POSTER_COMPOSE_H_
#define POSTERGEN_POSTER_COMPOSE_H_

// Clears the canvas, stretches the background over it, fits the item's
// photograph and caption into their boxes, presents, and writes
// "result" + item + ".png". Exits with status -114515 when the caption
// cannot be rendered; a caption with nothing to render is left out.
void composePoster(int item);

#endif  // POSTERGEN_POSTER_COMPOSE_H_
