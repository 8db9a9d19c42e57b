// The window, the renderer and the 64 x 36 canvas that all game drawing ends
// in. The application shell creates them; every drawing subsystem uses them.
#pragma once

#include <SDL.h>

constexpr int CANVAS_WIDTH = 64;
constexpr int CANVAS_HEIGHT = 36;

extern SDL_Window *window;
extern SDL_Renderer *renderer;
extern SDL_Texture *canvas;
