// The player on hand-built levels at a fixed 16 ms frame: jumps, dashes,
// the stomp, shots, death and respawn.
#include "player/player.h"

#include "player_world.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

constexpr int32_t FLOOR_Y = 26;  // the player stands at y 25

// A wide level with a floor and the player standing on it at x.
void floor_level(float x) {
    world_reset(200, 60);
    add_box(0, FLOOR_Y, 200, 4);
    place_player(x, FLOOR_Y - 1);
}

TEST(PlayerJump, HeldRisesAboutFivePixelsATapAboutOneAndAHalf) {
    const std::tuple<const char *, int, float, float> cases[] = {{"held", 1000, 4.8f, 5.8f},
                                                                 {"tapped", 1, 1.2f, 1.6f}};
    for (const auto &[name, hold_frames, low, high] : cases) {
        floor_level(50.0f);
        float top = player.y;
        controls.jump = true;
        for (int frame = 0; frame < 500 && (frame == 0 || player.state != PLAYER_STANDING); ++frame) {
            if (frame == hold_frames) controls.jump = false;
            update_player(FRAME_DT);
            top = std::min(top, player.y);
        }
        const float rise = FLOOR_Y - 1 - top;
        EXPECT_GE(rise, low) << name;
        EXPECT_LE(rise, high) << name;
        EXPECT_EQ(player_point_y(), FLOOR_Y - 1) << name;  // landed on the floor
    }
    // Jump still held after landing: no second jump until it is pressed again.
    run_player(60);
    EXPECT_EQ(player.state, PLAYER_STANDING);
    controls.jump = false;
    run_player(1);
    controls.jump = true;
    run_player(1);
    EXPECT_EQ(player.state, PLAYER_AIRBORNE);
}

// Crouches at x and presses jump, which starts a dash; runs the dash out.
int dash(float x, int32_t facing, bool release_down) {
    player.x = x;
    player.facing = facing;
    controls.down = true;
    update_player(FRAME_DT);
    controls.jump = true;
    update_player(FRAME_DT);
    EXPECT_EQ(player.state, PLAYER_DASHING);
    controls.down = !release_down;
    int frames = 0;
    for (; player.state == PLAYER_DASHING && frames < 400; ++frames) update_player(FRAME_DT);
    return frames;
}

TEST(PlayerDash, FullDashCoversAboutSevenPixelsEitherWay) {
    for (const int32_t facing : {DIR_RIGHT, DIR_LEFT}) {
        floor_level(100.0f);
        dash(100.0f, facing, false);
        const float distance = player.x - 100.0f;
        EXPECT_NEAR(facing == DIR_LEFT ? -distance : distance, 7.0f, 0.5f);
        EXPECT_EQ(player.state, PLAYER_CROUCHING);  // down still held
        run_player(30);
        EXPECT_EQ(player.x, 100.0f + distance);  // the jump still held starts no second dash
    }
}

TEST(PlayerDash, UnderAOnePixelCeilingGoesOnUntilTheHeadIsClear) {
    floor_level(37.0f);
    add_box(40, 20, 20, 5);                       // its bottom row 24 is the head's row
    EXPECT_GT(dash(37.0f, DIR_RIGHT, true), 40);  // far beyond the 0.25 s of an open dash
    EXPECT_GE(player_point_x(), 60);
    EXPECT_LE(player.x, 61.0f);
    EXPECT_EQ(player.state, PLAYER_STANDING);
}

// In the air above three breakable blocks and a floor, pressing down and
// jump: nothing without the ability; with it, a hang of 0.5 s, then down
// through every block.
TEST(PlayerStomp, HangsThenBreaksEveryBlockAndLandsWithTheImpact) {
    for (const bool ability : {false, true}) {
        world_reset(100, 80);
        for (int32_t y : {10, 21, 32}) add_box(30, y, 12, 11, 9);
        add_box(0, 60, 100, 4);
        place_player(35.0f, 5.0f);
        player.state = PLAYER_AIRBORNE;
        controls.down = controls.jump = true;
        settings.buttstomp = ability;
        run_player(31);  // 0.496 s
        EXPECT_EQ(player.state == PLAYER_STOMPING, ability);
        EXPECT_EQ(player.y == 5.0f, ability);
        int frames = 31;
        for (; frames < 300 && (player.state == PLAYER_STOMPING || !ability); ++frames) {
            update_player(FRAME_DT);
        }
        EXPECT_EQ(plays(SOUND_STOMP_CHARGE), ability ? 1 : 0);
        EXPECT_EQ(plays(SOUND_EXPLOSION_LARGE), ability ? 3 : 0);
        if (!ability) continue;
        EXPECT_EQ(player.state, PLAYER_STANDING);
        EXPECT_EQ(player_point_y(), 59);
        EXPECT_EQ(player.ground_index, 3);
        EXPECT_EQ(plays(SOUND_STOMP_LAND), 1);
        // 54 pixels at 52.402 px/s after the wind-up.
        EXPECT_NEAR(frames * FRAME_DT, 0.5f + 54.0f / 52.402f, 0.04f);
    }
}

TEST(PlayerShot, StartsAtTheGunAndFliesTheWayChosen) {
    // state, facing, up, down held; the direction and the offset from the
    // player's point after the frame's flight.
    const std::tuple<int32_t, int32_t, bool, bool, int32_t, int, int> cases[] = {
        {PLAYER_STANDING, DIR_RIGHT, false, false, DIR_RIGHT, 2, -1},
        {PLAYER_STANDING, DIR_LEFT, false, false, DIR_LEFT, -2, -1},
        {PLAYER_STANDING, DIR_RIGHT, true, false, DIR_UP, 0, -3},
        {PLAYER_CROUCHING, DIR_LEFT, true, true, DIR_LEFT, -2, 0},  // crouching, up goes sideways low
        {PLAYER_AIRBORNE, DIR_RIGHT, false, true, DIR_DOWN, 0, 1},
    };
    for (const auto &[state, facing, up, down, direction, dx, dy] : cases) {
        floor_level(100.0f);
        player.state = state;
        player.facing = facing;
        if (state == PLAYER_AIRBORNE) player.y = 10.0f;
        controls.up = up;
        controls.down = down;
        controls.shoot = true;
        const int32_t px = player_point_x(), py = player_point_y();
        update_player(FRAME_DT);
        const Projectile &shot = player.shots[0];
        EXPECT_EQ(shot.direction, direction) << state << up << down;
        EXPECT_NEAR(shot.x, px + dx, 1e-4) << direction;
        EXPECT_NEAR(shot.y, py + dy, 1e-4) << direction;
    }
}

// Three shots at most are in the air; the fourth waits for a free one.
TEST(PlayerShot, HeldFireRepeatsAtTheCooldownTapsFireAtEachPress) {
    for (const bool tapped : {false, true}) {
        floor_level(100.0f);
        std::vector<int> fired;
        for (int frame = 0; frame < 45; ++frame) {
            controls.shoot = !tapped || frame % 2 == 0;
            const int shots = plays(SOUND_SHOOT);
            update_player(FRAME_DT);
            if (plays(SOUND_SHOOT) > shots) fired.push_back(frame);
        }
        EXPECT_EQ(fired, (tapped ? std::vector<int>{0, 2, 4} : std::vector<int>{0, 13, 26})) << tapped;
    }
}

// Dying on a moving elevator: the body rides nothing, and the respawn at
// the saved point puts the elevator back home.
TEST(PlayerDeath, RespawnAtTheSavePointWithTheElevatorBackHome) {
    floor_level(100.0f);
    add_box(95, FLOOR_Y - 2, 10, 1).elevator_armed = true;
    player.y = FLOOR_Y - 3;
    for (int32_t id : {1, 2}) *save_point_append() = {true, false, 20 * id, 10, id, 0, 0.0f, 0.0f};
    settings.savelevel = level_state.level;
    settings.savecheckpoint = 2;
    run_player(1);
    EXPECT_EQ(player.ground_index, 1);
    EXPECT_TRUE(doodads[1].elevator_moving);
    doodads[1].x = 120.0f;  // carried some way
    kill_player();
    EXPECT_EQ(player.ground_index, NO_DOODAD);
    int frames = 0;
    for (; player.state == PLAYER_DEAD && frames < 400; ++frames) update_player(FRAME_DT);
    EXPECT_NEAR(frames * FRAME_DT, 2.4f, FRAME_DT * 1.01f);
    EXPECT_EQ((std::tuple{player.x, player.y, player.health, player.lives}), (std::tuple{42.0f, 13.0f, 5, 2}));
    EXPECT_TRUE(doodads[1].elevator_armed && !doodads[1].elevator_moving && doodads[1].x == 95.0f);
}

// With no lives left, or with no saved game in a level without save points,
// a death goes back to the title level with its fresh 3 lives.
TEST(PlayerDeath, WithNothingToGoBackToGoesToTheTitleLevel) {
    mount_fixture_archive();
    for (const int32_t lives : {0, 2}) {
        floor_level(100.0f);
        player.lives = lives;
        kill_player();
        run_player(151);
        EXPECT_EQ((std::tuple{level_state.level, player.lives, player.health, player.state}),
                  (std::tuple{0, 3, 5, PLAYER_STANDING})) << lives;
    }
}

}  // namespace
