#include "resources/texture.h"

#include "common/log.h"
#include "common/screen.h"
#include "resources/archive.h"
#include "resources/png.h"

#include <cstdlib>

// Masks that make SDL read each pixel's bytes as red, green, blue, alpha.
#if SDL_BYTEORDER == SDL_BIG_ENDIAN
static constexpr Uint32 RED_MASK = 0xFF000000, GREEN_MASK = 0x00FF0000, BLUE_MASK = 0x0000FF00, ALPHA_MASK = 0x000000FF;
#else
static constexpr Uint32 RED_MASK = 0x000000FF, GREEN_MASK = 0x0000FF00, BLUE_MASK = 0x00FF0000, ALPHA_MASK = 0xFF000000;
#endif

bool texture_size_allowed(int64_t width, int64_t height) {
    return width >= 0 && height >= 0 && width <= TEXTURE_MAX_SIDE && height <= TEXTURE_MAX_SIDE &&
           width * height <= TEXTURE_MAX_PIXELS;
}

// The size a PNG file's header claims (its first chunk is IHDR); files
// without one are left to the decoder, which refuses them.
static bool claims_too_large(const uint8_t *file, int32_t length) {
    if (length < 24 || file[12] != 'I' || file[13] != 'H' || file[14] != 'D' || file[15] != 'R') return false;
    auto big_endian = [file](int at) {
        return int64_t{file[at]} << 24 | int64_t{file[at + 1]} << 16 | int64_t{file[at + 2]} << 8 | file[at + 3];
    };
    return !texture_size_allowed(big_endian(16), big_endian(20));
}

SDL_Texture *quob_load_png_as_SDLtexture(const char *path) {
    if (!archive_exists(path)) {
        app_log("quob_load_png_as_SDLtexture > filename doesn't exist: %s", path);
        return nullptr;
    }
    int32_t length = 0;
    uint8_t *file = archive_read_file(path, &length);
    if (!file) return nullptr;
    if (claims_too_large(file, length)) {
        app_log("quob_load_png_as_SDLtexture > picture too large: %s", path);
        std::free(file);
        return nullptr;
    }
    const PngImage image = png_load_from_memory(file, length);
    std::free(file);
    if (!image.pixels) return nullptr;

    // The surface borrows the decoded pixels; the texture copies them.
    SDL_Surface *surface = SDL_CreateRGBSurfaceFrom(image.pixels, image.width, image.height, 32, image.width * 4,
                                                    RED_MASK, GREEN_MASK, BLUE_MASK, ALPHA_MASK);
    if (!surface) {
        app_log("quob_load_png_as_SDLtexture > SDL_CreateRGBSurfaceFrom Error: %s", SDL_GetError());
        std::free(image.pixels);
        return nullptr;
    }
    SDL_Texture *texture = SDL_CreateTextureFromSurface(renderer, surface);
    if (!texture) app_log("quob_load_bmp_as_SDLtexture > SDL_CreateTextureFromSurface Error: %s", SDL_GetError());
    SDL_FreeSurface(surface);
    std::free(image.pixels);
    return texture;
}
