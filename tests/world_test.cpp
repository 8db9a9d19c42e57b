// The world's solid queries and effect slots.
#include "world/world.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

Doodad box(float x, float y, int32_t box_x, int32_t box_y, int32_t box_w, int32_t box_h) {
    Doodad doodad = {};
    doodad.active = true;
    doodad.x = x;
    doodad.y = y;
    doodad.box_x = box_x;
    doodad.box_y = box_y;
    doodad.box_w = box_w;
    doodad.box_h = box_h;
    return doodad;
}

}  // namespace

TEST(World, SolidBoxesAreInclusiveFromTheRoundedPositionAndTheFirstWins) {
    doodad_count = 6;
    doodads[0] = box(10.5f, 19.5f, 0, 5, 15, 8);  // x 11..25, y 25..32
    doodads[1] = box(0, 0, 0, 0, 1000, 1000);
    doodads[1].active = false;
    doodads[2] = box(-0.5f, 0, 2, 0, 4, 4);  // x 1..4, y 0..3
    doodads[3] = box(24, 30, 0, 0, 4, 4);    // x 24..27, y 30..33: overlaps the first
    doodads[4] = box(50, 50, 0, 0, 0, 3);    // covers nothing
    doodads[5] = box(2e9f, 2e9f, 0, 0, INT32_MAX, INT32_MAX);  // its far end lies past the int range
    doodads[6] = box(0, 0, 0, 0, 1000, 1000);  // beyond the count

    const struct {
        int32_t px, py, index;
    } cases[] = {
        {11, 25, 0}, {25, 32, 0}, {10, 25, NO_DOODAD}, {26, 25, NO_DOODAD}, {11, 33, NO_DOODAD},
        {24, 30, 0}, {26, 31, 3}, {1, 0, 2},  {0, 0, NO_DOODAD},  {4, 3, 2},  {50, 50, NO_DOODAD},
        {2000000000, 2000000000, 5}, {INT32_MAX, INT32_MAX, 5}, {500, 500, NO_DOODAD},
    };
    for (const auto &c : cases) EXPECT_EQ(solid_at(c.px, c.py), c.index) << c.px << ", " << c.py;

    EXPECT_TRUE(solid_at_either(500, 500, 1, 0));
    EXPECT_FALSE(solid_at_either(500, 500, 0, 0));
    EXPECT_TRUE(solid_at_any(500, 500, 0, 0, 25, 32));
    EXPECT_FALSE(solid_at_any(500, 500, 0, 0, 11, 24));
    doodad_count = 0;
}

TEST(World, EffectsTakeTheFirstFreeSlotCleanWithTheirTypesLook) {
    const std::pair<int32_t, const char *> cases[] = {
        {0, "6 frames 3x3 behind"}, {4, "9 frames 4x3 behind flipped"}, {7, "14 frames 7x7 behind"},
        {9, "9 frames 7x7"},        {10, "5 frames 3x1 behind flipped"}, {3, "1 frames 0x0"},
    };
    for (const auto &[type, look] : cases) {
        for (Effect &effect : effects) effect = {};
        effects[0].active = true;
        std::memset(static_cast<void *>(&effects[1]), 1, sizeof effects[1]);  // a used slot, now free
        effects[1].active = false;
        spawn_effect(type, 3.0f, 4.0f, true, 5.0f, -6.0f);
        const Effect &e = effects[1];
        char seen[64];
        std::snprintf(seen, sizeof seen, "%d frames %dx%d%s%s", e.last_frame, e.width, e.height,
                      e.drawn_behind ? " behind" : "", e.flip_x ? " flipped" : "");
        EXPECT_EQ(std::string(seen), look) << type;
        EXPECT_TRUE(e.active && !e.flip_y && !effects[2].active);
        EXPECT_EQ(e.type, type);
        EXPECT_EQ((std::array{e.x, e.y, e.vx, e.vy}), (std::array{3.0f, 4.0f, 5.0f, -6.0f}));
        EXPECT_EQ(e.frame + e.age + e.frame_timer, 0.0f);
    }

    for (Effect &effect : effects) {
        effect = {};
        effect.active = true;
    }
    spawn_effect(7, 9.0f, 9.0f, false, 0, 0);
    for (const Effect &effect : effects) EXPECT_EQ(effect.x, 0.0f);  // the 41st is not made
    for (Effect &effect : effects) effect = {};
}
