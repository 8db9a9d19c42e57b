// The player on hand-built levels at a fixed 16 ms frame: jumps, dashes,
// the stomp, shots, bounds, hurt, death and respawn.
#include "player/player.h"

#include "level/level.h"
#include "player_world.h"
#include "support/test_support.h"

#include <physfs.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int32_t FLOOR_Y = 26;  // the player stands at y 25

// A wide level with a floor and the player standing on it at x.
void floor_level(float x) {
    world_reset(200, 60);
    add_box(0, FLOOR_Y, 200, 4);
    player.x = x;
    player.y = FLOOR_Y - 1;
}

struct Jump {
    float rise;
    int frames;  // until standing again
};

// Presses jump for hold_frames frames (or to the end) and follows the jump
// until the player stands again.
Jump jump(int hold_frames) {
    floor_level(50.0f);
    run_player(2);
    const float start = player.y;
    float top = start;
    controls.jump = true;
    int frame = 0;
    for (; frame < 500; ++frame) {
        if (frame == hold_frames) controls.jump = false;
        update_player(FRAME_DT);
        top = std::min(top, player.y);
        if (frame > 0 && player.state == PLAYER_STANDING) break;
    }
    return {start - top, frame + 1};
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
        const Jump result = jump(c.hold_frames);
        std::printf("jump %s: rise %.3f px, %d frames\n", c.name, result.rise, result.frames);
        EXPECT_GE(result.rise, c.low) << c.name;
        EXPECT_LE(result.rise, c.high) << c.name;
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

TEST(PlayerJump, HeadBumpStopsTheRise) {
    floor_level(50.0f);
    add_box(40, 21, 20, 2);  // two pixels above the head at y 24
    controls.jump = true;
    float top = player.y;
    for (int frame = 0; frame < 60; ++frame) {
        update_player(FRAME_DT);
        top = std::min(top, player.y);
    }
    EXPECT_GE(top, 23.5f);  // the head (y - 1) never entered row 22
    EXPECT_EQ(player.state, PLAYER_STANDING);
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

TEST(PlayerDash, AWallAheadEndsTheDashAtOnce) {
    floor_level(0.0f);
    add_box(103, 20, 4, 6);
    dash_from(100.0f, DIR_RIGHT);
    EXPECT_EQ(player.state, PLAYER_CROUCHING);
    EXPECT_LT(player_point_x(), 102);
}

TEST(PlayerLanding, OnlyAHardLandingStartsTheBlink) {
    const struct {
        float drop;  // pixels above the standing height
        bool blink;
    } cases[] = {{1.0f, false}, {2.0f, true}, {20.0f, true}};
    for (const auto &c : cases) {
        floor_level(50.0f);
        player.y -= c.drop;
        player.state = PLAYER_AIRBORNE;
        sounds_played();
        int frames = 0;
        while (player.state == PLAYER_AIRBORNE && frames < 200) {
            update_player(FRAME_DT);
            ++frames;
        }
        EXPECT_EQ(player.landing_timer > 0.0f, c.blink) << c.drop;
        EXPECT_EQ(sounds_played(), std::vector<SoundId>{SOUND_LAND}) << c.drop;
        EXPECT_EQ(count_effects(1), 1) << c.drop;
        run_player(60);
        EXPECT_EQ(player.landing_timer > 0.3333332f, c.blink) << c.drop;  // runs out, then stays
        EXPECT_LT(player.landing_timer, 0.36f) << c.drop;
    }
}

TEST(PlayerElevator, StandingOnAnArmedElevatorSetsItGoingWithTheHumOnlyInTheTitleLevel) {
    for (const int32_t level : {0, 1}) {
        floor_level(50.0f);
        level_state.level = level;
        const int32_t lift = add_box(45, 20, 10, 2);
        doodads[lift].elevator_armed = true;
        player.y = 19.0f;
        sounds_played();
        run_player(2);
        EXPECT_EQ(player.ground_index, lift);
        EXPECT_TRUE(doodads[lift].elevator_moving);
        EXPECT_FALSE(doodads[lift].elevator_armed);
        EXPECT_EQ(count_sound(sounds_played(), SOUND_ELEVATOR_LOOP), level == 0 ? 1 : 0) << level;
    }
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

TEST(PlayerBounds, ClampedSidewaysAndUpwardKilledBelow) {
    world_reset(100, 40);
    player.x = 1.0f;
    player.y = 0.5f;
    player.state = PLAYER_AIRBORNE;
    player.vy = 20.0f;
    controls.left = true;
    run_player(5);
    EXPECT_EQ(player.x, 0.0f);
    EXPECT_EQ(player.y, 0.0f);
    controls.left = false;
    controls.right = true;
    player.x = 98.5f;
    run_player(3);
    EXPECT_EQ(player.x, 99.0f);
    controls.right = false;
    for (int frame = 0; frame < 400 && player.state != PLAYER_DEAD; ++frame) update_player(FRAME_DT);
    EXPECT_EQ(player.state, PLAYER_DEAD);
    EXPECT_GE(player.y, 41.0f);
}

TEST(PlayerHurt, KnockedBackAwayFromTheFacingSideUnlessAWallIsThere) {
    const struct {
        int32_t facing;
        bool wall;
        float moved_low, moved_high;
    } cases[] = {
        {DIR_RIGHT, false, -8.0f, -4.0f},  // pushed only while in the air
        {DIR_LEFT, false, 4.0f, 8.0f},
        {DIR_LEFT, true, 0.0f, 2.0f},
    };
    for (const auto &c : cases) {
        floor_level(100.0f);
        if (c.wall) add_box(102, 0, 4, 26);
        player.facing = c.facing;
        controls.left = controls.right = true;  // ignored while hurt
        sounds_played();
        hurt_player();
        EXPECT_EQ(player.health, 4);
        EXPECT_EQ(player.state, PLAYER_AIRBORNE);
        EXPECT_EQ(player.vy, 13.14f);
        EXPECT_EQ(sounds_played(), std::vector<SoundId>{SOUND_PLAYER_HURT});
        run_player(50);
        const float moved = player.x - 100.0f;
        std::printf("hurt facing %d%s: moved %.3f px\n", c.facing, c.wall ? " by a wall" : "", moved);
        EXPECT_GE(moved, c.moved_low) << c.facing << c.wall;
        EXPECT_LE(moved, c.moved_high) << c.facing << c.wall;
    }
}

TEST(PlayerHurt, TheLastPointOfHealthKillsWithTheBurst) {
    floor_level(100.0f);
    player.health = 1;
    sounds_played();
    hurt_player();
    EXPECT_EQ(player.state, PLAYER_DEAD);
    EXPECT_EQ(player.death_timer, 2.5f);
    EXPECT_EQ(sounds_played(), (std::vector<SoundId>{SOUND_PLAYER_HURT, SOUND_PLAYER_DIE}));
    run_player(30);
    // Eight pieces spread in the eight directions at 35 px/s.
    const float reach = 35.0f * 30 * FRAME_DT;
    const int dx[] = {0, 1, 1, 1, 0, -1, -1, -1};
    const int dy[] = {-1, -1, 0, 1, 1, 1, 0, -1};
    for (int i = 0; i < DEBRIS_CAPACITY; ++i) {
        EXPECT_NEAR(player.debris[i].x, 100.0f + dx[i] * reach, 1e-3) << i;
        EXPECT_NEAR(player.debris[i].y, 25.0f + dy[i] * reach, 1e-3) << i;
    }
    kill_player();  // a second death changes nothing
    EXPECT_TRUE(sounds_played().empty());
}

// A level with two save points and an elevator the player stands on.
struct RespawnLevel {
    int32_t elevator;
};

RespawnLevel respawn_level() {
    floor_level(100.0f);
    RespawnLevel level;
    level.elevator = add_box(95, FLOOR_Y - 2, 10, 1);
    doodads[level.elevator].elevator_armed = true;
    doodads[level.elevator].dest_x = 150;
    player.y = FLOOR_Y - 3;
    for (int32_t id : {1, 2}) {
        SavePoint &point = *save_point_append();
        point.active = true;
        point.id = id;
        point.x = 20 * id;
        point.y = 10;
    }
    return level;
}

// Frames from the death until the player stands again.
int frames_to_respawn() {
    int frames = 0;
    while (player.state == PLAYER_DEAD && frames < 400) {
        update_player(FRAME_DT);
        ++frames;
    }
    return frames;
}

TEST(PlayerDeath, TheBodyLeavesTheElevatorAndTheElevatorGoesHomeOnRespawn) {
    const RespawnLevel level = respawn_level();
    settings.savelevel = level_state.level;
    settings.savecheckpoint = 2;
    run_player(1);
    ASSERT_EQ(player.ground_index, level.elevator);
    ASSERT_TRUE(doodads[level.elevator].elevator_moving);
    doodads[level.elevator].x = 120.0f;  // carried some way
    kill_player();
    EXPECT_EQ(player.ground_index, NO_DOODAD);
    const int frames = frames_to_respawn();
    std::printf("respawn after %d frames (%.3f s)\n", frames, frames * FRAME_DT);
    EXPECT_NEAR(frames * FRAME_DT, 2.4f, FRAME_DT * 1.01f);
    EXPECT_EQ(player.x, 42.0f);
    EXPECT_EQ(player.y, 13.0f);
    EXPECT_EQ(player.health, 5);
    EXPECT_EQ(player.lives, 2);
    const Doodad &elevator = doodads[level.elevator];
    EXPECT_FALSE(elevator.elevator_moving);
    EXPECT_TRUE(elevator.elevator_armed);
    EXPECT_EQ(elevator.x, 95.0f);
}

TEST(PlayerDeath, RespawnPlaceWithoutALevelLoad) {
    const struct {
        const char *name;
        int32_t savelevel;  // relative: 0 = this level, -1 = none
        int32_t checkpoint;
        float x, y;
    } cases[] = {
        {"matching id", 0, 1, 22.0f, 13.0f},
        {"no matching id: stays", 0, 7, 150.0f, 25.0f},
        {"no saved game: first save point", -1, 2, 22.0f, 13.0f},
    };
    for (const auto &c : cases) {
        const RespawnLevel level = respawn_level();
        settings.savelevel = c.savelevel == 0 ? level_state.level : -1;
        settings.savecheckpoint = c.checkpoint;
        run_player(1);  // the elevator sets off
        player.x = 150.0f;
        player.y = 25.0f;
        kill_player();
        frames_to_respawn();
        EXPECT_EQ(player.x, c.x) << c.name;
        EXPECT_EQ(player.y, c.y) << c.name;
        EXPECT_EQ(player.lives, 2) << c.name;
        // The elevator goes home only when the save is in this level.
        EXPECT_EQ(doodads[level.elevator].elevator_armed, c.savelevel == 0) << c.name;
    }
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
    respawn_level();
    settings.savelevel = level_state.level;
    settings.savecheckpoint = 1;
    player.lives = 0;
    kill_player();
    frames_to_respawn();
    EXPECT_EQ(level_state.level, 0);
    EXPECT_EQ(player.lives, 3);
    EXPECT_EQ(player.health, 5);
    EXPECT_EQ(player.state, PLAYER_STANDING);
}

TEST_F(PlayerRespawnLoad, SavedInAnotherLevelLoadsItAtTheSavePoint) {
    respawn_level();
    settings.savelevel = 3;
    settings.savecheckpoint = 1;
    kill_player();
    frames_to_respawn();
    EXPECT_EQ(level_state.level, 3);
    EXPECT_EQ(player.x, 22.0f);  // fixture save point 1 at (20, 24)
    EXPECT_EQ(player.y, 27.0f);
    EXPECT_EQ(player.lives, 2);
    EXPECT_EQ(player.health, 5);
}

}  // namespace
