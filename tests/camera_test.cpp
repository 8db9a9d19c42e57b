// The camera: the dead zone, the level's ends, the glide of a locked camera
// and the horizontal lock.
#include "player/camera.h"

#include "player_world.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

void place_player(float x, float y) {
    player.x = x;
    player.y = y;
}

TEST(Camera, PutsThePlayerBackOnTheEdgeOfTheDeadZone) {
    const struct {
        const char *name;
        int32_t width, height;
        float camera_x, camera_y;
        float player_x, player_y;
        float expect_x, expect_y;
    } cases[] = {
        {"right of the zone", 200, 36, 0, 0, 50, 18, 11.6f, 0},
        {"inside the zone", 200, 100, 10, 10, 40, 30, 10, 10},
        {"just inside the high edge", 200, 100, 10, 0, 48, 18, 10, 0},
        {"left of the zone", 200, 100, 50, 0, 60, 18, 34.4f, 0},
        {"below the zone", 64, 100, 0, 0, 30, 50, 0, 50 - 21.6f},
        {"clamped at the right end", 200, 36, 100, 0, 199, 18, 136, 0},
        {"clamped at the bottom", 64, 100, 0, 0, 30, 99, 0, 64},
        {"clamped at the left end", 200, 36, 20, 0, 3, 18, 0, 0},
        {"exactly the view never scrolls", 64, 36, 0, 0, 63, 35, 0, 0},
        {"smaller than the view never scrolls", 40, 30, 0, 0, 39, 25, 0, 0},
    };
    for (const auto &c : cases) {
        world_reset(c.width, c.height);
        level_state.camera_x = c.camera_x;
        level_state.camera_y = c.camera_y;
        place_player(c.player_x, c.player_y);
        update_camera(FRAME_DT);
        EXPECT_FLOAT_EQ(level_state.camera_x, c.expect_x) << c.name;
        EXPECT_FLOAT_EQ(level_state.camera_y, c.expect_y) << c.name;
    }
}

TEST(Camera, TheHorizontalLockStillFollowsUpAndDown) {
    world_reset(200, 100);
    level_state.camera_x_locked = true;
    place_player(150, 80);
    update_camera(FRAME_DT);
    EXPECT_EQ(level_state.camera_x, 0.0f);
    EXPECT_FLOAT_EQ(level_state.camera_y, 80 - 21.6f);
}

TEST(Camera, ALockedGlideOf110PixelsTakesTwoSecondsWithoutOvershoot) {
    world_reset(400, 36);
    level_state.camera_locked = true;
    level_state.camera_target_x = 110;
    place_player(300, 18);  // ignored while locked
    int frames = 0;
    while (level_state.camera_x != 110.0f && frames < 1000) {
        update_camera(FRAME_DT);
        ++frames;
        ASSERT_LE(level_state.camera_x, 110.0f);
    }
    std::printf("glide of 110 px: %d frames, %.3f s\n", frames, frames * FRAME_DT);
    EXPECT_NEAR(frames * FRAME_DT, 2.0f, FRAME_DT * 1.01f);
}

}  // namespace
