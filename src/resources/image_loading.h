// Turns image files into textures on AppState::renderer.
#ifndef POSTERGEN_RESOURCES_IMAGE_LOADING_H_
#define POSTERGEN_RESOURCES_IMAGE_LOADING_H_

#include <SDL.h>

#include <string>

#include "contract/run_contract.h"
#include "resources/drawn_size.h"

// Decodes the file and returns a texture, never null: of the picture's
// size, or where placement draws it smaller and the renderer picks pixels
// to scale, of the drawn size holding exactly the pixels the renderer would
// show there (resources/drawn_size.h), so the poster is the same. When the
// file cannot be decoded or the texture cannot be made, SDL's error text goes
// to standard output as it stands and the process exits with kExitUnloadable
// or kExitUnrenderable. Before decoding, the header is read: an image beyond
// the decode limits (resources/image_header.h), of another format or with a
// header that cannot be read is refused the same way, with a reason naming
// the file, and kExitUnloadable.
SDL_Texture* loadTexture(std::string path, Placement placement);

// As loadTexture, for photographs: the picture is first turned upright by
// its EXIF orientation, so the texture has the size it is viewed at.
SDL_Texture* loadPhotographTexture(std::string path, Placement placement);

#endif  // POSTERGEN_RESOURCES_IMAGE_LOADING_H_
