#include "common/screen.h"

SDL_Window *window = nullptr;
SDL_Renderer *renderer = nullptr;
SDL_Texture *canvas = nullptr;
