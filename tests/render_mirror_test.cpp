// The mirrored copy that spares the software renderer its temporary
// surfaces must draw exactly what SDL's own flipped copy draws.
#include "render/actors.h"
#include "render_support.h"

#include <cstdint>
#include <vector>

namespace {

// A 6 x 4 picture in which every pixel differs, with some transparency.
std::vector<Rgba> uneven_pixels() {
    std::vector<Rgba> pixels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            pixels.push_back({uint8_t(40 * x), uint8_t(60 * y), uint8_t(200 - 30 * x), uint8_t(x == 2 ? 128 : 255)});
    return pixels;
}

struct Case {
    const char *name;
    SDL_Rect source, destination;
    uint8_t alpha;
};

}  // namespace

TEST(MirroredCopy, DrawsWhatSdlsFlippedCopyDraws) {
    start_test_video();
    SDL_Texture *sheet = make_texture(6, 4, uneven_pixels());
    SDL_Texture *target = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, 16, 12);
    const Case cases[] = {
        {"whole sheet", {0, 0, 6, 4}, {3, 2, 6, 4}, 255},
        {"part, half transparent", {1, 1, 4, 2}, {0, 5, 4, 2}, 90},
        {"hanging off the target", {0, 0, 6, 4}, {13, -2, 6, 4}, 255},
        // These two go through SDL's own copy.
        {"enlarged", {0, 0, 3, 2}, {2, 2, 6, 4}, 255},
        {"source past the sheet", {3, 2, 6, 4}, {1, 1, 6, 4}, 255},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SDL_SetTextureAlphaMod(sheet, c.alpha);
        clear_target(target, GREEN);
        SDL_RenderCopyEx(renderer, sheet, &c.source, &c.destination, 0.0, nullptr, SDL_FLIP_HORIZONTAL);
        const Picture want = read_target(target);
        clear_target(target, GREEN);
        render_copy_mirrored(sheet, c.source, c.destination);
        const Picture got = read_target(target);
        EXPECT_EQ(got.bytes, want.bytes);
        EXPECT_GT(got.lit(GREEN), 0);
    }
    clear_target(target, GREEN);
    render_copy_mirrored(nullptr, {0, 0, 6, 4}, {0, 0, 6, 4});  // an empty handle draws nothing
    EXPECT_EQ(read_target(target).lit(GREEN), 0);
    SDL_DestroyTexture(target);
    SDL_DestroyTexture(sheet);
    stop_test_video();
}
