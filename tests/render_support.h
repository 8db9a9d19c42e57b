// Drawing tests: SDL's offscreen driver with its exact software renderer, the
// canvas and the sprite sheets of the fixture archive, the world tables
// cleared, and pictures read back pixel by pixel.
#pragma once

#include "common/screen.h"
#include "player/player.h"
#include "render/font.h"
#include "resources/sprite_sheets.h"
#include "support/test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

struct Rgba {
    uint8_t r, g, b, a;
    bool operator==(const Rgba &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Rgba &c) {
    return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}

constexpr Rgba BLACK = {0, 0, 0, 255};
constexpr Rgba WHITE = {255, 255, 255, 255};
constexpr Rgba RED = {255, 0, 0, 255};
constexpr Rgba GREEN = {0, 255, 0, 255};

// A picture read back from a render target, RGBA bytes.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
    Rgba at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return BLACK;  // as black as the cleared target
        const uint8_t *p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    // How many pixels of the row, or of the picture, differ from the background.
    int lit_in_row(int y, Rgba background = BLACK) const {
        int count = 0;
        for (int x = 0; x < width; ++x) count += at(x, y) != background;
        return count;
    }
    int lit(Rgba background = BLACK) const {
        int count = 0;
        for (int y = 0; y < height; ++y) count += lit_in_row(y, background);
        return count;
    }
};

inline Picture read_target(SDL_Texture *target) {
    Picture picture;
    SDL_SetRenderTarget(renderer, target);
    SDL_QueryTexture(target, nullptr, nullptr, &picture.width, &picture.height);
    picture.bytes.resize(static_cast<size_t>(picture.width) * picture.height * 4);
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, picture.bytes.data(), picture.width * 4);
    return picture;
}

inline void clear_target(SDL_Texture *target, Rgba colour = BLACK) {
    SDL_SetRenderTarget(renderer, target);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, colour.r, colour.g, colour.b, colour.a);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
}

// A static texture of the given pixels (row by row), blended like the
// archive's pictures.
inline SDL_Texture *make_texture(int width, int height, const std::vector<Rgba> &pixels) {
    SDL_Texture *texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, width, height);
    SDL_UpdateTexture(texture, nullptr, pixels.data(), width * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    return texture;
}

// A window, the software renderer, the canvas and the fixture's sheets for
// the whole suite; every test starts on a black canvas and an empty world.
class RenderTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        start_test_video();
        sprite_sheets_load();
        ASSERT_NE(boss_texture, nullptr);
    }

    static void TearDownTestSuite() {
        font_unload();
        for (SDL_Texture **sheet : {&ui_texture, &enemies_texture, &enemies_blink_texture, &effects_texture, &darkness_texture, &pickups_texture,
                                    &projectiles_texture, &doodads_texture, &boss_texture}) {
            if (*sheet) SDL_DestroyTexture(*sheet);
            *sheet = nullptr;
        }
        stop_test_video();
    }

    void SetUp() override {
        reset_world();
        clear_target(canvas);
    }

    // Every table empty, the player and the level-wide values zero, a level
    // of the given size with the view at 64 x 36.
    static void reset_world(int level_width = 64, int level_height = 36) {
        doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
        for (Effect &effect : effects) effect = {};
        RearBG = BG = FG = {};
        level_state = {};
        level_state.level_width = level_width;
        level_state.level_height = level_height;
        level_state.view_width = 64;
        level_state.view_height = 36;
        boss = {};
        player = {};
    }
};
