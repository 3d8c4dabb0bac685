#include "app/app_state.h"

SDL_Renderer* AppState::renderer = nullptr;
SDL_Window* AppState::window = nullptr;
TTF_Font* AppState::font = nullptr;
int32_t AppState::itemCount = 0;
int32_t AppState::fontSize = 0;
// Definition order is construction order: the registry first, then the
// caption table; static destruction releases them in reverse.
std::map<std::string, SDL_Texture*> AppState::textures;
std::array<std::string, kMaxItemCount + 1> AppState::captions;
