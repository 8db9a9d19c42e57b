// PNG files from the data archive as textures on the game's renderer.
#pragma once

#include <SDL.h>

// Decodes the archive's PNG file at path (forward slashes, no leading
// slash) into a new texture on the game's renderer, or null on any failure.
// The caller owns the texture; no pixel memory stays behind.
SDL_Texture *quob_load_png_as_SDLtexture(const char *path);
