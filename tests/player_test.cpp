// The player on hand-built levels at a fixed 16 ms frame: jumps, dashes,
// the stomp, shots, death and respawn.
#include "player/player.h"

#include "level/level.h"
#include "player_world.h"
#include "support/test_support.h"

#include <physfs.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int32_t FLOOR_Y = 26;  // the player stands at y 25

// A wide level with a floor and the player standing on it at x.
void floor_level(float x) {
    world_reset(200, 60);
    add_box(0, FLOOR_Y, 200, 4);
    player.x = x;
    player.y = FLOOR_Y - 1;
}

// Presses jump for hold_frames frames (or throughout) and follows the jump
// until the player stands again; returns the height reached.
float jump(int hold_frames) {
    floor_level(50.0f);
    float top = player.y;
    controls.jump = true;
    for (int frame = 0; frame < 500; ++frame) {
        if (frame == hold_frames) controls.jump = false;
        update_player(FRAME_DT);
        top = std::min(top, player.y);
        if (frame > 0 && player.state == PLAYER_STANDING) break;
    }
    return FLOOR_Y - 1 - top;
}

// Crouches, presses jump and runs the dash out; returns the distance.
float dash_from(float x, int facing) {
    player.x = x;
    player.facing = facing;
    controls.down = true;
    update_player(FRAME_DT);
    controls.jump = true;
    for (int frame = 0; frame < 400 && (frame == 0 || player.state == PLAYER_DASHING); ++frame) {
        update_player(FRAME_DT);
    }
    return player.x - x;
}

TEST(PlayerJump, HeldRisesAboutFivePixelsATapAboutOneAndAHalf) {
    const struct {
        const char *name;
        int hold_frames;
        float low, high;
    } cases[] = {
        {"held", 1000, 4.8f, 5.8f},
        {"tapped", 1, 1.2f, 1.6f},
    };
    for (const auto &c : cases) {
        const float rise = jump(c.hold_frames);
        std::printf("jump %s: rise %.3f px\n", c.name, rise);
        EXPECT_GE(rise, c.low) << c.name;
        EXPECT_LE(rise, c.high) << c.name;
        EXPECT_EQ(player_point_y(), FLOOR_Y - 1) << c.name;  // landed on the floor
    }
}

TEST(PlayerJump, HoldingJumpAfterLandingDoesNotJumpAgain) {
    jump(1000);
    ASSERT_EQ(player.state, PLAYER_STANDING);
    sounds_played();
    run_player(60);
    EXPECT_EQ(player.state, PLAYER_STANDING);
    EXPECT_EQ(count_sound(sounds_played(), SOUND_JUMP), 0);
    controls.jump = false;
    run_player(1);
    controls.jump = true;
    run_player(1);
    EXPECT_EQ(player.state, PLAYER_AIRBORNE);
    EXPECT_EQ(count_sound(sounds_played(), SOUND_JUMP), 1);
}

TEST(PlayerDash, FullDashCoversAboutSevenPixelsEitherWay) {
    for (const int facing : {DIR_RIGHT, DIR_LEFT}) {
        floor_level(0.0f);
        sounds_played();
        const float distance = dash_from(100.0f, facing);
        std::printf("dash facing %d: %.3f px\n", facing, distance);
        EXPECT_NEAR(std::fabs(distance), 7.0f, 0.5f);
        EXPECT_EQ(distance > 0, facing == DIR_RIGHT);
        EXPECT_EQ(player.state, PLAYER_CROUCHING);  // down still held
        EXPECT_EQ(count_sound(sounds_played(), SOUND_DASH), 1);
        EXPECT_FALSE(player.jump_ready);
    }
}

TEST(PlayerDash, UnderAOnePixelCeilingGoesOnUntilTheHeadIsClear) {
    floor_level(0.0f);
    add_box(40, 20, 20, 5);  // its bottom row 24 is the head's row
    player.x = 37.0f;
    controls.down = true;
    update_player(FRAME_DT);
    controls.jump = true;
    update_player(FRAME_DT);
    ASSERT_EQ(player.state, PLAYER_DASHING);
    controls.down = false;
    int frames = 1;
    for (; frames < 400; ++frames) {
        update_player(FRAME_DT);
        if (player.state != PLAYER_DASHING) break;
    }
    EXPECT_GT(frames, 40);  // far beyond the 0.25 s of an open dash
    EXPECT_GE(player_point_x(), 60);
    EXPECT_LE(player.x, 61.0f);
    EXPECT_EQ(player.state, PLAYER_STANDING);
}

// A player hanging in the air above a stack of breakable blocks.
void stomp_level() {
    world_reset(100, 80);
    for (int32_t y : {10, 21, 32}) add_box(30, y, 12, 11, 9);
    add_box(0, 60, 100, 4);
    player.x = 35.0f;
    player.y = 5.0f;
    player.state = PLAYER_AIRBORNE;
    controls.down = true;
    controls.jump = true;
}

TEST(PlayerStomp, LockedWithoutTheAbility) {
    stomp_level();
    sounds_played();
    for (int frame = 0; frame < 60; ++frame) {
        update_player(FRAME_DT);
        EXPECT_NE(player.state, PLAYER_STOMPING);
    }
    EXPECT_EQ(count_sound(sounds_played(), SOUND_STOMP_CHARGE), 0);
    EXPECT_TRUE(doodads[0].active);
}

TEST(PlayerStomp, HangsThenBreaksEveryBlockAndLandsWithTheImpact) {
    stomp_level();
    settings.buttstomp = true;
    sounds_played();
    run_player(31);  // 0.496 s
    EXPECT_EQ(player.state, PLAYER_STOMPING);
    EXPECT_EQ(player.y, 5.0f);
    run_player(1);
    EXPECT_GT(player.y, 5.0f);
    int frames = 32;
    while (player.state == PLAYER_STOMPING && frames < 500) {
        update_player(FRAME_DT);
        ++frames;
    }
    EXPECT_EQ(player.state, PLAYER_STANDING);
    EXPECT_EQ(player_point_y(), 59);
    EXPECT_EQ(player.ground_index, 3);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(doodads[i].active) << i;
    EXPECT_EQ(count_effects(9), 1);
    EXPECT_EQ(count_effects(7), 6);
    const std::vector<SoundId> sounds = sounds_played();
    EXPECT_EQ(count_sound(sounds, SOUND_STOMP_CHARGE), 1);
    EXPECT_EQ(count_sound(sounds, SOUND_EXPLOSION_LARGE), 3);
    EXPECT_EQ(sounds.back(), SOUND_STOMP_LAND);
    // 54 pixels at 52.402 px/s after the wind-up.
    EXPECT_NEAR(frames * FRAME_DT, 0.5f + 54.0f / 52.402f, 0.04f);
}

TEST(PlayerShot, StartsAtTheGunAndFliesTheWayChosen) {
    const struct {
        const char *name;
        int32_t state;
        int32_t facing;
        bool up, down;
        int32_t direction;
        int dx, dy;  // from the player's point, after the frame's flight
    } cases[] = {
        {"right", PLAYER_STANDING, DIR_RIGHT, false, false, DIR_RIGHT, 2, -1},
        {"left", PLAYER_STANDING, DIR_LEFT, false, false, DIR_LEFT, -2, -1},
        {"up", PLAYER_STANDING, DIR_RIGHT, true, false, DIR_UP, 0, -3},
        {"crouching up goes sideways low", PLAYER_CROUCHING, DIR_LEFT, true, true, DIR_LEFT, -2, 0},
        {"down in the air", PLAYER_AIRBORNE, DIR_RIGHT, false, true, DIR_DOWN, 0, 1},
    };
    for (const auto &c : cases) {
        floor_level(100.0f);
        player.state = c.state;
        player.facing = c.facing;
        if (c.state == PLAYER_AIRBORNE) player.y = 10.0f;
        controls.up = c.up;
        controls.down = c.down;
        controls.shoot = true;
        const int32_t px = player_point_x(), py = player_point_y();
        update_player(FRAME_DT);
        const Projectile &shot = player.shots[0];
        EXPECT_EQ(shot.direction, c.direction) << c.name;
        EXPECT_NEAR(shot.x, px + c.dx, 1e-4) << c.name;
        EXPECT_NEAR(shot.y, py + c.dy, 1e-4) << c.name;
        const bool sideways = c.direction == DIR_LEFT || c.direction == DIR_RIGHT;
        EXPECT_EQ(count_effects(10), sideways ? 1 : 0) << c.name;
    }
}

TEST(PlayerShot, HeldFireRepeatsAtTheCooldownTapsFireAtEachPress) {
    floor_level(100.0f);
    sounds_played();
    controls.shoot = true;
    std::vector<int> fired;
    for (int frame = 0; frame < 45; ++frame) {
        update_player(FRAME_DT);
        if (!sounds_played().empty()) fired.push_back(frame);
    }
    // Three shots at most are in the air; the fourth waits for a free one.
    EXPECT_EQ(fired, (std::vector<int>{0, 13, 26}));

    floor_level(100.0f);
    fired.clear();
    for (int frame = 0; frame < 8; ++frame) {
        controls.shoot = frame % 2 == 0;
        update_player(FRAME_DT);
        if (!sounds_played().empty()) fired.push_back(frame);
    }
    EXPECT_EQ(fired, (std::vector<int>{0, 2, 4}));
}

// The player stands on an armed elevator (index 1) in a level with save
// points 1 at (20, 10) and 2 at (40, 10); returns frames until the respawn.
int die_on_elevator_and_respawn() {
    floor_level(100.0f);
    add_box(95, FLOOR_Y - 2, 10, 1);
    doodads[1].elevator_armed = true;
    player.y = FLOOR_Y - 3;
    for (int32_t id : {1, 2}) {
        SavePoint &point = *save_point_append();
        point.active = true;
        point.id = id;
        point.x = 20 * id;
        point.y = 10;
    }
    settings.savelevel = level_state.level;
    settings.savecheckpoint = 2;
    run_player(1);
    EXPECT_EQ(player.ground_index, 1);
    EXPECT_TRUE(doodads[1].elevator_moving);
    doodads[1].x = 120.0f;  // carried some way
    kill_player();
    EXPECT_EQ(player.ground_index, NO_DOODAD);  // the body rides nothing
    int frames = 0;
    while (player.state == PLAYER_DEAD && frames < 400) {
        update_player(FRAME_DT);
        ++frames;
    }
    return frames;
}

TEST(PlayerDeath, RespawnAtTheSavePointWithTheElevatorBackHome) {
    const int frames = die_on_elevator_and_respawn();
    std::printf("respawn after %d frames (%.3f s)\n", frames, frames * FRAME_DT);
    EXPECT_NEAR(frames * FRAME_DT, 2.4f, FRAME_DT * 1.01f);
    EXPECT_EQ(player.x, 42.0f);
    EXPECT_EQ(player.y, 13.0f);
    EXPECT_EQ(player.health, 5);
    EXPECT_EQ(player.lives, 2);
    EXPECT_TRUE(doodads[1].elevator_armed);
    EXPECT_FALSE(doodads[1].elevator_moving);
    EXPECT_EQ(doodads[1].x, 95.0f);
}

// Respawns that load a level read the fixture archive.
class PlayerRespawnLoad : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(PHYSFS_isInit() || PHYSFS_init(nullptr));
        unmount_test_archives();
        ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    }
    static void TearDownTestSuite() { unmount_test_archives(); }
};

TEST_F(PlayerRespawnLoad, NoLivesLeftGoesToTheTitleLevel) {
    floor_level(100.0f);
    player.lives = 0;
    kill_player();
    run_player(151);
    EXPECT_EQ(level_state.level, 0);
    EXPECT_EQ(player.lives, 3);
    EXPECT_EQ(player.health, 5);
    EXPECT_EQ(player.state, PLAYER_STANDING);
}

}  // namespace
