// PNG files from the data archive as textures on the game's renderer.
#pragma once

#include <SDL.h>

#include <cstdint>

// Decodes the archive's PNG file at path (forward slashes, no leading
// slash) into a new texture on the game's renderer, or null on any failure.
// The caller owns the texture; no pixel memory stays behind.
SDL_Texture *quob_load_png_as_SDLtexture(const char *path);

// The largest picture, and level texture, the game makes: a side of at most
// 8192 pixels and 4 Mi pixels in all (16 MiB as RGBA; the game's own largest
// picture is 2048 x 72). A larger picture is refused before it is decoded,
// since a few megabytes of PNG can claim gigabytes of pixels.
constexpr int64_t TEXTURE_MAX_SIDE = 8192;
constexpr int64_t TEXTURE_MAX_PIXELS = int64_t{1} << 22;

// True when a texture of width x height pixels lies within those bounds.
bool texture_size_allowed(int64_t width, int64_t height);
