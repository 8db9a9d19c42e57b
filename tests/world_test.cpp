// The world's solid queries and effect slots.
#include "world/world.h"

#include <gtest/gtest.h>

#include <bit>

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

    struct Case {
        int32_t px, py, index;
    };
    const Case cases[] = {
        {11, 25, 0}, {25, 32, 0}, {10, 25, NO_DOODAD}, {26, 25, NO_DOODAD}, {11, 33, NO_DOODAD},
        {24, 30, 0}, {26, 31, 3}, {1, 0, 2},  {0, 0, NO_DOODAD},  {4, 3, 2},  {50, 50, NO_DOODAD},
        {2000000000, 2000000000, 5}, {INT32_MAX, INT32_MAX, 5}, {500, 500, NO_DOODAD},
    };
    for (const Case &c : cases) EXPECT_EQ(solid_at(c.px, c.py), c.index) << c.px << ", " << c.py;

    EXPECT_TRUE(solid_at_either(500, 500, 1, 0));
    EXPECT_FALSE(solid_at_either(500, 500, 0, 0));
    EXPECT_TRUE(solid_at_any(500, 500, 0, 0, 25, 32));
    EXPECT_FALSE(solid_at_any(500, 500, 0, 0, 11, 24));
    doodad_count = 0;
}

TEST(World, EffectsTakeTheirTypesLookAndTheFirstFreeSlot) {
    struct Case {
        int32_t type;
        int32_t last_frame, width, height;
        bool drawn_behind, flip_x;
        float lifetime;
        uint32_t frame_time_bits;
    };
    const Case cases[] = {
        {0, 6, 3, 3, true, false, 0, 0x3DAAAAA6}, {1, 6, 3, 3, true, false, 0, 0x3DAAAAA6},
        {4, 9, 4, 3, true, true, 0, 0x3DAAAAA6},  {5, 1, 1, 2, true, false, 1.0f, 0x3DAAAAA6},
        {6, 1, 2, 1, true, false, 0.2f, 0x3DAAAAA6}, {7, 14, 7, 7, true, false, 0, 0x3DAAAAA6},
        {9, 9, 7, 7, false, false, 0, 0x3DAAAAA6}, {10, 5, 3, 1, true, true, 0, 0x3D2AAA99},
        {3, 1, 0, 0, false, false, 0, 0x3DAAAAA6},
    };
    for (const Case &c : cases) {
        for (Effect &effect : effects) effect = {};
        effects[0].active = true;
        // A reused slot keeps nothing of its last effect.
        effects[1] = {false, true, 1, 1, true, true, 1, 1, 99, 5, 5, 5, 5, 1, 1, 1, 1};
        spawn_effect(c.type, 3.0f, 4.0f, true, 5.0f, -6.0f);
        const Effect &e = effects[1];
        SCOPED_TRACE(c.type);
        EXPECT_TRUE(e.active);
        EXPECT_EQ(e.type, c.type);
        EXPECT_EQ(e.x, 3.0f);
        EXPECT_EQ(e.vy, -6.0f);
        EXPECT_EQ(e.frame, 0);
        EXPECT_EQ(e.last_frame, c.last_frame);
        EXPECT_EQ(e.width, c.width);
        EXPECT_EQ(e.height, c.height);
        EXPECT_EQ(e.drawn_behind, c.drawn_behind);
        EXPECT_EQ(e.flip_x, c.flip_x);
        EXPECT_FALSE(e.flip_y);
        EXPECT_EQ(e.lifetime, c.lifetime);
        EXPECT_EQ(e.age, 0.0f);
        EXPECT_EQ(e.frame_timer, 0.0f);
        EXPECT_EQ(std::bit_cast<uint32_t>(e.frame_time), c.frame_time_bits);
        EXPECT_TRUE(effects[2].active == false);
    }

    for (Effect &effect : effects) {
        effect = {};
        effect.active = true;
        effect.x = 1.0f;
    }
    spawn_effect(7, 9.0f, 9.0f, false, 0, 0);
    for (const Effect &effect : effects) EXPECT_EQ(effect.x, 1.0f);  // the 41st is not made
    for (Effect &effect : effects) effect = {};
}
