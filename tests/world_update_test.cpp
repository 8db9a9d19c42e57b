// The world update on small hand-made worlds.
#include "world/world_update.h"

#include "level/cutscene.h"
#include "player_world.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <tuple>

namespace {

void run_world(int frames, float dt = FRAME_DT) {
    for (int i = 0; i < frames; ++i) update_world(dt);
}

// A level that is not the title level with the player far from everything;
// settings are saved in a fresh folder.
class World : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { mount_fixture_archive(); }
    void SetUp() override {
        std::snprintf(app_save_path, APP_PATH_CAPACITY, "%s", folder.file("numbral.save").c_str());
        settings_apply_defaults();
        world_reset(256, 256);
        place_player(200, 200);
    }
    TempDir folder;
};

// Pickups hold both edges (x..x+w); triggers stop one short (x..x+w-1). The
// player's point is its position rounded.
TEST_F(World, PickupZonesIncludeTheFarEdgeAndTriggerZonesDoNot) {
    // the player's position; whether the pickup is taken and the trigger runs
    const std::tuple<float, float, bool, bool> cases[] = {
        {10, 10, true, true},  {18, 10, true, false},   {10, 14, true, false},  {19, 10, false, false},
        {9, 10, false, false}, {10, 9, false, false},   {17.49f, 13, true, true}, {17.5f, 13, true, false},
    };
    for (const auto &[x, y, collected, fired] : cases) {
        SetUp();
        *pickup_append() = {10, 10, true, PICKUP_HEALTH, 0, 1, 0.0f, 0.0833333f, 8, 4, false};
        *trigger_append() = {true, 10, 10, 8, 4, 0, 0, 0, 0, 0, 0, TRIGGER_LOCKCAMERA};
        place_player(x, y);
        update_world(FRAME_DT);
        EXPECT_EQ(!pickups[0].active, collected) << x << "," << y;
        EXPECT_EQ(player.health, collected ? 6 : 5) << x << "," << y;
        EXPECT_EQ(level_state.camera_locked, fired) << x << "," << y;
    }
}

TEST_F(World, TheStompPickupPlaysItsCutsceneAndSavesTheAbility) {
    *pickup_append() = {10, 10, true, PICKUP_STOMP, 0, 4, 0.0f, 0.0833333f, 3, 3, false};
    *pickup_append() = {10, 10, true, PICKUP_HEALTH, 0, 4, 0.0f, 0.0833333f, 3, 3, true};
    place_player(11, 11);
    update_world(FRAME_DT);
    EXPECT_FALSE(pickups[0].active);
    EXPECT_TRUE(pickups[1].active);  // a hidden pickup cannot be taken
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 5);
    EXPECT_TRUE(settings.buttstomp);
    EXPECT_NE(read_file(app_save_path).find("buttstomp"), std::string::npos);
    cutscene_playback.has_target = false;
    cutscene_end();
}

// Save points 1 at (20, 24) and 2 at (40, 24); each one's zone is x..x+3,
// y+3..y+4.
TEST_F(World, ALitSavePointNeitherSavesNorSoundsAgainAndAnotherOneTakesOver) {
    *save_point_append() = {true, false, 20, 24, 1, 0, 0.0833333f, 0.0f};
    *save_point_append() = {true, false, 40, 24, 2, 0, 0.0833333f, 0.0f};
    level_state.level = 7;
    const int32_t just_outside[][2] = {{24, 27}, {20, 26}, {19, 28}, {20, 29}};
    for (const auto &[x, y] : just_outside) {
        place_player(x, y);
        update_world(FRAME_DT);
        EXPECT_FALSE(save_points[0].lit) << x << "," << y;
    }
    place_player(23, 28);
    update_world(FRAME_DT);
    EXPECT_TRUE(save_points[0].lit);
    EXPECT_EQ(settings.savecheckpoint, 1);
    EXPECT_EQ(settings.savelevel, 7);
    EXPECT_NE(read_file(app_save_path).find("savecheckpoint"), std::string::npos);

    write_file(app_save_path, "untouched");
    place_player(20, 27);
    run_world(10);
    EXPECT_EQ(read_file(app_save_path), "untouched");
    EXPECT_EQ(plays(SOUND_CHECKPOINT), 1);

    place_player(41, 27);
    update_world(FRAME_DT);
    EXPECT_TRUE(save_points[1].lit);
    EXPECT_FALSE(save_points[0].lit);
    EXPECT_EQ(settings.savecheckpoint, 2);
    EXPECT_NE(read_file(app_save_path), "untouched");
    EXPECT_EQ(plays(SOUND_CHECKPOINT), 2);
}

// A frame counter past its end (a lit save point just unlit, a pickup whose
// count shrank) starts over instead of counting on. Save points (7 frames
// lit, 4 unlit) and pickups step once their frame time is reached, layers
// once it is passed.
TEST_F(World, FrameCountersPastTheirEndStartOver) {
    enum { LIT, UNLIT, PICKUP, LAYER };
    // what counts, its frames, its frame before and after one update of dt
    const std::tuple<int, int32_t, int32_t, float, int32_t> cases[] = {
        {LIT, 7, 6, 0.09f, 0},         {LIT, 7, 40, 0.09f, 0},   {UNLIT, 4, 2, 0.0833333f, 3},
        {UNLIT, 4, 5, 0.09f, 0},       {PICKUP, 4, 2, 0.0833333f, 3}, {PICKUP, 4, 9, 0.09f, 0},
        {PICKUP, 0, 0, 0.09f, 0},      {LAYER, 2, 0, 0.25f, 0},  {LAYER, 2, 0, 0.3f, 1},   {LAYER, 2, 5, 0.3f, 0},
    };
    for (const auto &[what, frames, frame, dt, after] : cases) {
        SetUp();
        *save_point_append() = {what <= UNLIT, what == LIT, 0, 0, 1, frame, 0.0833333f, 0.0f};
        *pickup_append() = {100, 100, what == PICKUP, PICKUP_HEALTH, frame, frames, 0.0f, 0.0833333f,
                            3,   3,   false};
        FG = {64, 36, 0.0f, 0.25f, 0.0f, 0.0f, frame, frames, what == LAYER, nullptr};
        update_world(dt);
        const int32_t now = what <= UNLIT    ? save_points[0].frame
                            : what == PICKUP ? pickups[0].frame
                                             : FG.frame;
        EXPECT_EQ(now, after) << what << ": " << frame << " of " << frames;
    }
}

TEST_F(World, EffectsEndAfterTheirLastFrameOrLifetimeAndMoveInTheirLastFrame) {
    // type, frame step, updates after which it is still shown
    const std::tuple<int32_t, float, int> cases[] = {
        {0, 0.084f, 6},  // frames 0..6, gone when 7 would show
        {5, 0.25f, 4},   // a lifetime of 1 s: still shown at exactly 1 s
    };
    for (const auto &[type, dt, shown] : cases) {
        SetUp();
        spawn_effect(type, 10.0f, 20.0f, false, 8.0f, -4.0f);
        run_world(shown, dt);
        EXPECT_TRUE(effects[0].active) << type;
        update_world(dt);
        EXPECT_FALSE(effects[0].active) << type;
        EXPECT_NEAR(effects[0].x, 10.0f + 8.0f * dt * (shown + 1), 1e-4) << type;
        EXPECT_NEAR(effects[0].y, 20.0f - 4.0f * dt * (shown + 1), 1e-4) << type;
    }
}

TEST_F(World, FlickerNeverRepeatsAValue) {
    std::set<int32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const int32_t previous = level_state.flicker;
        update_world(0.09f);  // longer than the flicker step: a draw every frame
        ASSERT_NE(level_state.flicker, previous) << "frame " << i;
        seen.insert(level_state.flicker);
    }
    EXPECT_EQ(seen, (std::set<int32_t>{0, 1, 2, 3}));
}

// The offset stays in [0, width) however fast the layer scrolls, a step back
// from 0 too small to leave the width included; a layer without width stays
// at 0.
TEST_F(World, ScrollOffsetsWrapIntoTheLayerWidth) {
    // width, speed, frame step, frames; the offset expected (< 0: only the range is checked)
    const std::tuple<int32_t, float, float, int, float> cases[] = {
        {96, -2.0f, 0.5f, 100, 92.0f}, {96, 48.0f, 1.0f, 2, 0.0f}, {64, -1e30f, 0.016f, 50, -1},
        {96, -1e-4f, 0.01f, 1, 0.0f},  {0, 5.0f, 0.016f, 10, 0.0f},  {-8, 5.0f, 0.016f, 10, 0.0f},
    };
    for (const auto &[width, speed, dt, frames, expected] : cases) {
        SetUp();
        RearBG = {width, 36, 0.0f, 0.0f, speed, 0.0f, 0, 1, true, nullptr};
        for (int i = 0; i < frames; ++i) {
            update_world(dt);
            const float offset = RearBG.scroll_offset;
            ASSERT_TRUE(offset >= 0.0f && (offset < width || offset == 0.0f))
                << width << " " << speed << ": " << offset;
        }
        EXPECT_TRUE(expected < 0 || RearBG.scroll_offset == expected)
            << width << " " << speed << ": " << RearBG.scroll_offset;
    }
}

// An elevator of type 0 (6 x 2) under way from (20, 30) with the player
// standing on it: the player goes along on both axes as far as a wall lets
// it. Arriving in the title level stops the hum (the newest loop); arriving
// elsewhere, or never moving, does not.
TEST_F(World, ElevatorsCarryTheRiderUpToAWallAndStopTheHumInTheTitleLevel) {
    // level, destination, a wall in column 17 or not; where the player ends, whether the hum stops
    const std::tuple<int32_t, int32_t, int32_t, bool, float, float, bool> cases[] = {
        {3, 10, 12, false, 12, 11, false},
        {0, 8, 30, true, 18, 29, true},
        {0, 20, 20, false, 22, 19, true},
        {0, 20, 30, false, 22, 29, false},
    };
    for (const auto &[level, to_x, to_y, wall, end_x, end_y, hum_stops] : cases) {
        SetUp();
        level_state.level = level;
        Doodad &lift = add_box(20, 30, 6, 2, 0);
        lift.dest_x = to_x;
        lift.dest_y = to_y;
        lift.elevator_moving = true;
        if (wall) add_box(17, 27, 1, 3);  // rows 27..29: body and head height
        place_player(22, 29);
        player.ground_index = 0;
        SoundTemplate music = audio_sound_entry(SOUND_LAND)->play_template;
        music.looped = 1;
        mixer_play(audio_mixer, music);  // the oldest loop, which nothing stops
        audio_PlaySound(SOUND_ELEVATOR_LOOP);
        run_world(200);
        SCOPED_TRACE(testing::Message() << level << ": to " << to_x << "," << to_y);
        EXPECT_EQ(lift.x, to_x);
        EXPECT_EQ(lift.y, to_y);
        EXPECT_TRUE(lift.elevator_moving);  // arrived, and stays
        EXPECT_EQ(player.x, end_x);
        EXPECT_EQ(player.y, end_y);
        EXPECT_EQ(plays(SOUND_ELEVATOR_LOOP), hum_stops ? 0 : 1);
    }
}

// The roar comes below 6 s left, once per run of the program; the fade-out
// starts between 5.5 and 5 s left, and the title level returns in the last
// half second whatever the frame time.
TEST_F(World, TheBossSequenceRoarsOnceFadesOutAndReturnsToTheTitleLevel) {
    boss.roar_played = false;  // as at program start
    for (const float dt : {FRAME_DT, 0.099f, 0.033f}) {
        SetUp();
        level_state.level = 4;
        boss.timer = 12.0f;
        double elapsed = 0.0;
        float fade = 0.0f;
        int roars = -1;  // both taken when 5 s are left
        for (; level_state.level != 0 && elapsed < 20.0; elapsed += dt) {
            ASSERT_TRUE(boss.timer < 6.0f || plays(SOUND_BOSS_ROAR) == 0)
                << "a roar with " << boss.timer << " s left";
            update_world(dt);
            if (boss.timer < 5.0f && roars < 0) {
                fade = level_state.fade_out_duration;
                roars = plays(SOUND_BOSS_ROAR);
            }
        }
        EXPECT_EQ(roars, dt == FRAME_DT ? 1 : 0) << dt;
        EXPECT_GT(fade, 5.0f) << dt;
        EXPECT_LT(fade, 5.5f) << dt;
        EXPECT_GT(elapsed, 11.5 - 1e-3) << dt;
        EXPECT_LE(elapsed, 12.0) << dt;
        EXPECT_EQ(boss.timer, 0.0f) << dt;
    }
}

// A touch within x0..x0+hit_w, y0..y0+hit_h (edges included) hurts the
// player once per hurt time; a stomping player hurts the enemy instead.
TEST_F(World, EnemyContactHurtsTheStandingPlayerAndTheStompHurtsTheEnemy) {
    // the player's position and state; the player's and the enemy's health after 5 frames
    const std::tuple<float, float, int32_t, int32_t, int32_t> cases[] = {
        {40, 30, PLAYER_STANDING, 4, 3}, {44, 30, PLAYER_STANDING, 4, 3}, {45, 30, PLAYER_STANDING, 5, 3},
        {39, 30, PLAYER_STANDING, 5, 3},
        {42, 32, PLAYER_STANDING, 4, 3}, {42, 33, PLAYER_STANDING, 5, 3}, {42, 31, PLAYER_STOMPING, 5, 2},
        {42, 31, PLAYER_DEAD, 5, 3},
    };
    for (const auto &[x, y, state, player_health, enemy_health] : cases) {
        SetUp();
        Enemy &enemy = add_enemy(ENEMY_HAZARD, 40.7f, 30.2f);  // truncated: x0 40, y0 30
        enemy.hit_w = 4;
        enemy.hit_h = 2;
        place_player(x, y);
        player.state = state;
        run_world(5);
        EXPECT_EQ(player.health, player_health) << x << "," << y << " " << state;
        EXPECT_EQ(enemy.health, enemy_health) << x << "," << y << " " << state;
    }
}

}  // namespace
