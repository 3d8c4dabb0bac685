// The registry of named textures, AppState::textures. It owns every texture
// stored in it until the shut-down walk destroys them all.
#ifndef POSTERGEN_RESOURCES_TEXTURE_REGISTRY_H_
#define POSTERGEN_RESOURCES_TEXTURE_REGISTRY_H_

#include <SDL.h>

#include <string>

// The registry's one access: the handle slot for a name, created holding null
// when the name is new. Storing into the slot never destroys what it held.
SDL_Texture*& textureSlot(std::string name);

// Destroys every registered texture in ascending key order, null ones
// included; the entries themselves stay.
void destroyRegisteredTextures();

#endif  // POSTERGEN_RESOURCES_TEXTURE_REGISTRY_H_
