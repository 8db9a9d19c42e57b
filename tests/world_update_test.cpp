// The world update on small hand-made worlds. Sounds are observed on a mixer
// without its mixing thread: every started sound stays in the playing list,
// and each bank entry plays a marker record of its own.
#include "world/world_update.h"

#include "audio/audio.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "player/player.h"
#include "support/test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <physfs.h>

#include <cmath>
#include <set>

namespace {

constexpr float FRAME = 0.016f;

LoadedSound sound_markers[AUDIO_BANK_SIZE];

int plays(SoundId id) {
    const LoadedSound *marker = audio_sound_entry(id)->play_template.sound;
    int count = 0;
    SDL_LockMutex(audio_mixer->mutex);
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next) count += (p->sound == marker && p->active) ? 1 : 0;
    SDL_UnlockMutex(audio_mixer->mutex);
    return count;
}

PlayingSound *newest_playing() { return audio_mixer->playing; }

void place_player(float x, float y) {
    player.x = x;
    player.y = y;
}

void run_world(int frames, float dt = FRAME) {
    for (int i = 0; i < frames; ++i) update_world(dt);
}

class World : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        audio_mixer = mixer_create(64);
        ASSERT_NE(audio_mixer, nullptr);
        for (int i = 0; i < AUDIO_BANK_SIZE; ++i) audio_bank[i].play_template.sound = &sound_markers[i];
        ASSERT_TRUE(PHYSFS_isInit() || PHYSFS_init(nullptr));
        unmount_test_archives();
        ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    }
    static void TearDownTestSuite() {
        mixer_shutdown(audio_mixer);
        audio_mixer = nullptr;
        unmount_test_archives();
    }
    void SetUp() override {
        mixer_stop_all(audio_mixer);
        sound_enabled = true;
        std::snprintf(app_save_path, APP_PATH_CAPACITY, "%s", folder.file("numbral.save").c_str());
        settings_apply_defaults();
        doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
        for (Effect &effect : effects) effect = {};
        RearBG = BG = FG = {};
        const bool roared = boss.roar_played;
        boss = {};
        boss.roar_played = roared;
        level_state = {};
        level_state.level = 3;
        player = {};
        player.ground_index = NO_DOODAD;
        player.health = 5;
        player.lives = 3;
        player.facing = DIR_RIGHT;
        place_player(200, 200);  // away from everything
    }
    void TearDown() override {
        if (cutscene_active) {
            cutscene_playback.has_target = false;
            cutscene_end();
        }
    }
    TempDir folder;
};

// Pickups hold both edges (x..x+w); triggers stop one short (x..x+w-1).
TEST_F(World, PickupZonesIncludeTheFarEdgeAndTriggerZonesDoNot) {
    struct Case {
        float px, py;
        bool collected;
        bool fired;
    };
    // Both rectangles: x 10, y 10, w 8, h 4.
    const Case cases[] = {
        {10, 10, true, true},    {17, 13, true, true},    {18, 10, true, false}, {10, 14, true, false},
        {18, 14, true, false},   {19, 10, false, false},  {9, 10, false, false}, {10, 9, false, false},
        {17.49f, 13, true, true}, {17.5f, 13, true, false},  // the point is the position rounded
    };
    for (const Case &c : cases) {
        SetUp();
        Pickup *pickup = pickup_append();
        *pickup = {10, 10, true, PICKUP_HEALTH, 0, 1, 0.0f, 0.0833333f, 8, 4, false};
        Trigger *trigger = trigger_append();
        trigger->active = true;
        trigger->x = 10, trigger->y = 10, trigger->w = 8, trigger->h = 4;
        trigger->command = TRIGGER_LOCKCAMERA;
        place_player(c.px, c.py);
        update_world(FRAME);
        EXPECT_EQ(!pickups[0].active, c.collected) << c.px << "," << c.py;
        EXPECT_EQ(player.health, c.collected ? 6 : 5) << c.px << "," << c.py;
        EXPECT_EQ(level_state.camera_locked, c.fired) << c.px << "," << c.py;
    }
}

TEST_F(World, OnlyTheFirstOfOverlappingTriggersRuns) {
    for (int32_t command : {TRIGGER_LOCKCAMERAX, TRIGGER_LOCKCAMERA}) {
        Trigger *trigger = trigger_append();
        trigger->active = true;
        trigger->x = 0, trigger->y = 0, trigger->w = 20, trigger->h = 20;
        trigger->command = command;
    }
    place_player(5, 5);
    update_world(FRAME);
    EXPECT_TRUE(level_state.camera_x_locked);
    EXPECT_FALSE(level_state.camera_locked);
    update_world(FRAME);  // the first disarmed itself: now the second
    EXPECT_TRUE(level_state.camera_locked);
}

TEST_F(World, TheStompPickupPlaysItsCutsceneAndSavesTheAbility) {
    Pickup *pickup = pickup_append();
    *pickup = {10, 10, true, PICKUP_STOMP, 0, 4, 0.0f, 0.0833333f, 3, 3, false};
    Pickup *hidden = pickup_append();
    *hidden = {10, 10, true, PICKUP_HEALTH, 0, 4, 0.0f, 0.0833333f, 3, 3, true};
    place_player(11, 11);
    update_world(FRAME);
    EXPECT_FALSE(pickups[0].active);
    EXPECT_TRUE(pickups[1].active);  // a hidden pickup cannot be taken
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 5);
    EXPECT_TRUE(settings.buttstomp);
    EXPECT_NE(read_file(app_save_path).find("buttstomp"), std::string::npos);
}

TEST_F(World, ALitSavePointNeitherSavesNorSoundsAgainAndAnotherOneTakesOver) {
    SavePoint *first = save_point_append();
    *first = {true, false, 20, 24, 1, 0, 0.0833333f, 0.0f};
    SavePoint *second = save_point_append();
    *second = {true, false, 40, 24, 2, 0, 0.0833333f, 0.0f};
    level_state.level = 7;

    place_player(23, 28);  // x..x+3, y+3..y+4
    update_world(FRAME);
    EXPECT_TRUE(save_points[0].lit);
    EXPECT_EQ(settings.savecheckpoint, 1);
    EXPECT_EQ(settings.savelevel, 7);
    EXPECT_EQ(plays(SOUND_CHECKPOINT), 1);
    EXPECT_NE(read_file(app_save_path).find("savecheckpoint"), std::string::npos);

    write_file(app_save_path, "untouched");
    place_player(20, 27);
    run_world(10);
    EXPECT_EQ(read_file(app_save_path), "untouched");
    EXPECT_EQ(plays(SOUND_CHECKPOINT), 1);

    place_player(41, 27);
    update_world(FRAME);
    EXPECT_TRUE(save_points[1].lit);
    EXPECT_FALSE(save_points[0].lit);
    EXPECT_EQ(settings.savecheckpoint, 2);
    EXPECT_NE(read_file(app_save_path), "untouched");
    EXPECT_EQ(plays(SOUND_CHECKPOINT), 2);

    // Just outside: one column right, one row above the zone.
    place_player(24, 27);
    save_points[0].lit = false;
    update_world(FRAME);
    EXPECT_FALSE(save_points[0].lit);
    place_player(20, 26);
    update_world(FRAME);
    EXPECT_FALSE(save_points[0].lit);
}

// A frame counter past its end (a lit save point just unlit, a pickup whose
// count shrank) starts over instead of counting on.
TEST_F(World, FrameCountersPastTheirEndStartOver) {
    struct Case {
        bool lit;
        int32_t frame;
        int32_t after;
    };
    const Case points[] = {{true, 5, 6}, {true, 6, 0}, {false, 2, 3}, {false, 3, 0}, {false, 5, 0}, {true, 40, 0}};
    for (const Case &c : points) {
        SetUp();
        SavePoint *point = save_point_append();
        *point = {true, c.lit, 0, 0, 1, c.frame, 0.0833333f, 0.0f};
        update_world(0.09f);  // one frame step
        EXPECT_EQ(save_points[0].frame, c.after) << c.lit << " " << c.frame;
    }
    struct PickupCase {
        int32_t frames, frame, after;
    };
    const PickupCase pickup_cases[] = {{4, 2, 3}, {4, 3, 0}, {4, 9, 0}, {0, 0, 0}};
    for (const PickupCase &c : pickup_cases) {
        SetUp();
        Pickup *pickup = pickup_append();
        *pickup = {100, 100, true, PICKUP_HEALTH, c.frame, c.frames, 0.0f, 0.0833333f, 3, 3, false};
        update_world(0.09f);
        EXPECT_EQ(pickups[0].frame, c.after) << c.frames << " " << c.frame;
    }
}

TEST_F(World, EffectsEndAfterTheirLastFrameOrLifetimeAndMoveInTheirLastFrame) {
    struct Case {
        int32_t type;
        float dt;
        int frames_alive;  // updates after which it is still shown
    };
    const Case cases[] = {
        {0, 0.084f, 6},     // frames 0..6, gone when 7 would show
        {10, 0.042f, 5},    // the muzzle flash, 24 frames a second
        {5, 0.25f, 4},      // a lifetime of 1 s: still shown at exactly 1 s
        {6, 0.0625f, 3},    // 0.2 s
    };
    for (const Case &c : cases) {
        SetUp();
        spawn_effect(c.type, 10.0f, 20.0f, false, 8.0f, -4.0f);
        run_world(c.frames_alive, c.dt);
        EXPECT_TRUE(effects[0].active) << "type " << c.type;
        update_world(c.dt);
        EXPECT_FALSE(effects[0].active) << "type " << c.type;
        const float moved = c.dt * (c.frames_alive + 1);
        EXPECT_NEAR(effects[0].x, 10.0f + 8.0f * moved, 1e-4) << "type " << c.type;
        EXPECT_NEAR(effects[0].y, 20.0f - 4.0f * moved, 1e-4) << "type " << c.type;
    }
}

TEST_F(World, FlickerNeverRepeatsAValue) {
    std::set<int32_t> seen;
    int32_t previous = level_state.flicker;
    for (int i = 0; i < 2000; ++i) {
        update_world(0.09f);  // longer than the flicker step: a draw every frame
        ASSERT_NE(level_state.flicker, previous) << "frame " << i;
        ASSERT_GE(level_state.flicker, 0);
        ASSERT_LE(level_state.flicker, 3);
        seen.insert(level_state.flicker);
        previous = level_state.flicker;
    }
    EXPECT_EQ(seen.size(), 4u);
}

// The offset stays in [0, width) however fast the layer scrolls, and a layer
// without width stays at 0.
TEST_F(World, ScrollOffsetsWrapIntoTheLayerWidth) {
    struct Case {
        int32_t width;
        float speed;
        float dt;
        int frames;
        float expected;  // < 0: only the range is checked
    };
    const Case cases[] = {
        {96, 2.0f, 0.5f, 100, 4.0f},  {96, -2.0f, 0.5f, 100, 92.0f}, {96, 48.0f, 1.0f, 2, 0.0f},
        {96, 5000.0f, 0.016f, 500, -1}, {64, -1e30f, 0.016f, 50, -1},  {0, 5.0f, 0.016f, 10, 0.0f},
        {-8, 5.0f, 0.016f, 10, 0.0f},
    };
    for (const Case &c : cases) {
        SetUp();
        RearBG.present = true;
        RearBG.width = c.width;
        RearBG.frames = 1;
        RearBG.scroll_speed = c.speed;
        for (int i = 0; i < c.frames; ++i) {
            update_world(c.dt);
            const float offset = RearBG.scroll_offset;
            ASSERT_TRUE(offset >= 0.0f && (offset < static_cast<float>(c.width) || offset == 0.0f))
                << c.width << " " << c.speed << ": " << offset;
        }
        if (c.expected >= 0) {
            EXPECT_EQ(RearBG.scroll_offset, c.expected) << c.width << " " << c.speed;
        }
    }
}

TEST_F(World, LayersAnimateAtTheirOwnFrameTime) {
    FG.present = true;
    FG.width = 64;
    FG.frames = 2;
    FG.frame_time = 0.25f;  // "FGfps:4"
    run_world(2, 0.1f);
    EXPECT_EQ(FG.frame, 0);
    run_world(1, 0.1f);
    EXPECT_EQ(FG.frame, 1);
    run_world(3, 0.1f);
    EXPECT_EQ(FG.frame, 0);  // wrapped after the last frame
}

// An elevator of type 0 (6 x 2) with the player on its top.
struct Ride {
    int32_t from_x, from_y, to_x, to_y;
};

Doodad *add_elevator(const Ride &ride) {
    Doodad *lift = doodad_append();
    lift->active = true;
    lift->x = static_cast<float>(ride.from_x);
    lift->y = static_cast<float>(ride.from_y);
    lift->home_x = ride.from_x;
    lift->home_y = ride.from_y;
    lift->dest_x = ride.to_x;
    lift->dest_y = ride.to_y;
    lift->width = lift->box_w = 6;
    lift->height = lift->box_h = 2;
    lift->frames = 1;
    lift->elevator_moving = true;
    return lift;
}

void add_wall(int32_t x, int32_t y, int32_t w, int32_t h) {
    Doodad *wall = doodad_append();
    wall->active = true;
    wall->type = -1;
    wall->x = static_cast<float>(x);
    wall->y = static_cast<float>(y);
    wall->width = wall->box_w = w;
    wall->height = wall->box_h = h;
    wall->frames = 1;
}

TEST_F(World, ElevatorsCarryTheRiderOnBothAxes) {
    add_elevator({20, 30, 10, 12});
    place_player(22, 29);
    player.ground_index = 0;
    for (int frame = 0; frame < 400 && (doodads[0].x != 10.0f || doodads[0].y != 12.0f); ++frame) {
        update_world(FRAME);
        ASSERT_EQ(player.x, std::round(doodads[0].x) + 2) << "frame " << frame;
        ASSERT_EQ(player.y, std::round(doodads[0].y) - 1) << "frame " << frame;
    }
    EXPECT_EQ(doodads[0].x, 10.0f);
    EXPECT_EQ(doodads[0].y, 12.0f);
    EXPECT_EQ(player.x, 12.0f);
    EXPECT_EQ(player.y, 11.0f);
    EXPECT_TRUE(doodads[0].elevator_moving);  // arrived, and stays
    EXPECT_EQ(doodads[0].home_x, 20);
}

TEST_F(World, AWallLeavesTheRiderBehindWhileTheElevatorGoesOn) {
    add_elevator({20, 30, 8, 30});
    add_wall(17, 27, 1, 3);  // column 17, rows 27..29: body and head height
    place_player(22, 29);
    player.ground_index = 0;
    run_world(200);
    EXPECT_EQ(doodads[0].x, 8.0f);
    EXPECT_EQ(player.x, 18.0f);  // stopped beside the wall
    EXPECT_EQ(player.y, 29.0f);
}

TEST_F(World, OnlyAnElevatorArrivingInTheTitleLevelStopsTheHum) {
    struct Case {
        int32_t level;
        Ride ride;
        bool hum_stops;
    };
    const Case cases[] = {
        {0, {20, 30, 10, 30}, true},
        {0, {20, 30, 20, 20}, true},
        {3, {20, 30, 10, 30}, false},
        {0, {20, 30, 20, 30}, false},  // already there: never moves, never stops it
    };
    for (const Case &c : cases) {
        SetUp();
        level_state.level = c.level;
        add_elevator(c.ride);
        SoundTemplate music = {1, 1.0f, 1.0f, 0.5f, &sound_markers[0]};
        mixer_play(audio_mixer, music);  // the oldest loop, which nothing stops
        audio_PlaySound(SOUND_ELEVATOR_LOOP);
        PlayingSound *hum = newest_playing();
        run_world(200);
        EXPECT_EQ(hum->active == 0, c.hum_stops) << c.level << " " << c.ride.to_x << "," << c.ride.to_y;
        EXPECT_EQ(doodads[0].x, static_cast<float>(c.ride.to_x));
        EXPECT_EQ(doodads[0].y, static_cast<float>(c.ride.to_y));
    }
}

TEST_F(World, TheBossRoarsOncePerRunAndFadesOutNearItsEnd) {
    boss.roar_played = false;  // as at program start
    boss.timer = 12.0f;
    while (boss.timer >= 6.0f) {
        ASSERT_EQ(plays(SOUND_BOSS_ROAR), 0);
        update_world(FRAME);
    }
    EXPECT_EQ(plays(SOUND_BOSS_ROAR), 1);
    while (boss.timer >= 5.0f) update_world(FRAME);
    EXPECT_GT(level_state.fade_out_duration, 5.0f);
    EXPECT_LT(level_state.fade_out_duration, 5.5f);
    EXPECT_EQ(plays(SOUND_BOSS_ROAR), 1);

    // A second sequence in the same run stays silent.
    boss.timer = 12.0f;
    while (boss.timer >= 5.0f) update_world(FRAME);
    EXPECT_EQ(plays(SOUND_BOSS_ROAR), 1);
    EXPECT_GE(boss.boss_frame, 0);
    EXPECT_LT(boss.boss_frame, 8);
}

TEST_F(World, TheBossSequenceReturnsToTheTitleLevelInItsLastHalfSecond) {
    for (float dt : {FRAME, 0.099f, 0.033f}) {
        SetUp();
        level_state.level = 4;
        boss.timer = 12.0f;
        double elapsed = 0.0;
        while (level_state.level != 0 && elapsed < 20.0) {
            update_world(dt);
            elapsed += dt;
        }
        EXPECT_EQ(level_state.level, 0) << dt;
        EXPECT_GT(elapsed, 11.5 - 1e-3) << dt;
        EXPECT_LE(elapsed, 12.0) << dt;
        EXPECT_EQ(boss.timer, 0.0f) << dt;
        EXPECT_EQ(player.x, 32.0f);  // at the title level's entrance
        EXPECT_EQ(player.y, 23.0f);
    }
}

// A touch within the box x0..x0+hit_w (edges included) hurts once per hurt
// time; a stomping player hurts the enemy instead.
TEST_F(World, EnemyContactHurtsTheStandingPlayerAndTheStompHurtsTheEnemy) {
    struct Case {
        float px, py;
        int32_t state;
        bool touched;
    };
    const Case cases[] = {
        {40, 30, PLAYER_STANDING, true},   {44, 30, PLAYER_STANDING, true},  {45, 30, PLAYER_STANDING, false},
        {39, 30, PLAYER_STANDING, false},  {42, 32, PLAYER_STANDING, true},  {42, 33, PLAYER_STANDING, false},
        {42, 31, PLAYER_STOMPING, true},   {42, 31, PLAYER_DEAD, false},
    };
    for (const Case &c : cases) {
        SetUp();
        Enemy *enemy = enemy_append();
        enemy->active = true;
        enemy->kind = ENEMY_HAZARD;
        enemy->x = 40.7f;  // the offset is added before truncating: x0 = 40
        enemy->y = 30.2f;
        enemy->health = 3;
        enemy->hit_w = 4;
        enemy->hit_h = 2;
        place_player(c.px, c.py);
        player.state = c.state;
        update_world(FRAME);
        if (c.state == PLAYER_STOMPING) {
            EXPECT_EQ(enemies[0].health, 2) << c.px << "," << c.py;
            EXPECT_EQ(player.health, 5);
        } else {
            EXPECT_EQ(player.health, c.touched ? 4 : 5) << c.px << "," << c.py;
            EXPECT_EQ(enemies[0].health, 3);
        }
    }

    // Hurt once: the player's hurt time protects it on the next frames.
    SetUp();
    Enemy *enemy = enemy_append();
    enemy->active = true;
    enemy->kind = ENEMY_HAZARD;
    enemy->x = 40, enemy->y = 30;
    place_player(40, 30);
    run_world(5);
    EXPECT_EQ(player.health, 4);
    EXPECT_GT(player.hurt_timer, 0.0f);
}

}  // namespace
