#include "resources/texture_registry.h"

#include <utility>

#include "app/app_state.h"

SDL_Texture*& textureSlot(std::string name) { return AppState::textures[std::move(name)]; }

void destroyRegisteredTextures() {
  for (const auto& entry : AppState::textures) SDL_DestroyTexture(entry.second);
}
