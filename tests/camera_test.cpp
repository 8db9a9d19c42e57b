// The camera: the dead zone, the level's ends, the glide of a locked camera
// and the horizontal lock.
#include "player/camera.h"

#include "common/numeric.h"

#include "player_world.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace {

TEST(Camera, PutsThePlayerBackOnTheEdgeOfTheDeadZone) {
    const struct {
        const char *name;
        int32_t width, height;
        float camera_x, camera_y, player_x, player_y, expect_x, expect_y;
        bool x_locked;
    } cases[] = {
        {"right of the zone", 200, 36, 0, 0, 50, 18, 11.6f, 0, false},
        {"just inside the high edge", 200, 100, 10, 0, 48, 18, 10, 0, false},
        {"left of the zone", 200, 100, 50, 0, 60, 18, 34.4f, 0, false},
        {"below the zone", 64, 100, 0, 0, 30, 50, 0, 50 - 21.6f, false},
        {"clamped at the right end", 200, 36, 100, 0, 199, 18, 136, 0, false},
        {"clamped at the left end", 200, 36, 20, 0, 3, 18, 0, 0, false},
        {"exactly the view never scrolls", 64, 36, 0, 0, 63, 35, 0, 0, false},
        {"smaller than the view never scrolls", 40, 30, 0, 0, 39, 25, 0, 0, false},
        {"the horizontal lock still follows up and down", 200, 100, 0, 0, 150, 80, 0, 80 - 21.6f, true},
    };
    for (const auto &c : cases) {
        world_reset(c.width, c.height);
        level_state.camera_x = c.camera_x;
        level_state.camera_y = c.camera_y;
        level_state.camera_x_locked = c.x_locked;
        place_player(c.player_x, c.player_y);
        update_camera(FRAME_DT);
        EXPECT_FLOAT_EQ(level_state.camera_x, c.expect_x) << c.name;
        EXPECT_FLOAT_EQ(level_state.camera_y, c.expect_y) << c.name;
    }
}

// The renderer clips the view with int arithmetic, so its far edge must stay
// an int even at the end of the largest level a file can ask for.
TEST(Camera, TheViewStaysInsideTheLargestLevel) {
    world_reset(INT32_MAX, INT32_MAX);
    place_player(2147483648.0f, 2147483648.0f);
    update_camera(FRAME_DT);
    EXPECT_LE(int64_t{num_round(level_state.camera_x)} + 64, INT32_MAX);
    EXPECT_LE(int64_t{num_round(level_state.camera_y)} + 36, INT32_MAX);
    EXPECT_GE(level_state.camera_x, INT32_MAX - 64 - 128);  // at the end, within a float's step
    EXPECT_GE(level_state.camera_y, INT32_MAX - 36 - 128);
}

TEST(Camera, ALockedGlideOf110PixelsTakesTwoSecondsWithoutOvershoot) {
    world_reset(400, 36);
    level_state.camera_locked = true;
    level_state.camera_target_x = 110;
    place_player(300, 18);  // ignored while locked
    int frames = 0;
    for (; level_state.camera_x != 110.0f && frames < 1000; ++frames) {
        update_camera(FRAME_DT);
        ASSERT_LE(level_state.camera_x, 110.0f);
    }
    std::printf("glide of 110 px: %d frames, %.3f s\n", frames, frames * FRAME_DT);
    EXPECT_NEAR(frames * FRAME_DT, 2.0f, FRAME_DT * 1.01f);
}

}  // namespace
