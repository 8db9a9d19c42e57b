// Trigger commands on the fixture archive, with SDL's offscreen driver and
// software renderer for the levels and cutscenes they start. Audio is never
// started: music commands only switch the current music.
#include "audio/audio.h"
#include "common/controls.h"
#include "common/screen.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <cstring>

namespace {

Trigger make_trigger(int32_t command, int32_t param_a = 0, int32_t param_b = 0) {
    Trigger trigger = {};
    trigger.active = true;
    trigger.command = command;
    trigger.param_a = param_a;
    trigger.param_b = param_b;
    return trigger;
}

class Triggers : public testing::Test {
protected:
    static void SetUpTestSuite() {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("trigger test", 0, 0, 64, 36, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
        ASSERT_NE(renderer, nullptr) << SDL_GetError();
        if (!PHYSFS_isInit()) {
            ASSERT_NE(PHYSFS_init(nullptr), 0);
        }
        unmount_test_archives();
        ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    }

    static void TearDownTestSuite() {
        unmount_test_archives();
        SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        renderer = nullptr;
        window = nullptr;
        SDL_Quit();
    }

    void SetUp() override {
        settings_apply_defaults();
        std::strcpy(app_save_path, folder.file("numbral.save").c_str());
        quit_requested = false;
        cutscene_active = false;
        current_music = MUSIC_NONE;
        boss = {};
        ASSERT_TRUE(load_level(3, 0, false));
    }

    void TearDown() override {
        cutscene_end();
        for (Layer *layer : {&RearBG, &BG, &FG}) {
            if (layer->texture) SDL_DestroyTexture(layer->texture);
            *layer = {};
        }
        if (level_state.level_texture) SDL_DestroyTexture(level_state.level_texture);
        level_state = {};
    }

    TempDir folder;
};

}  // namespace

TEST_F(Triggers, TheFirstArmedTriggerHoldingThePointRuns) {
    trigger_count = 5;
    triggers[0] = make_trigger(TRIGGER_QUIT);
    triggers[0].w = triggers[0].h = 4;  // covers 0..3
    triggers[1] = triggers[0];
    triggers[1].x = 2;  // overlaps at 2..3, reaches 5
    triggers[2] = triggers[0];
    triggers[2].x = 10;
    triggers[2].active = false;
    triggers[3] = triggers[0];
    triggers[3].x = triggers[3].y = 10;
    triggers[3].w = triggers[3].h = INT32_MAX;  // its far end lies past the int range
    triggers[4] = triggers[0];
    triggers[4].w = 0;
    triggers[5] = triggers[0];
    triggers[5].x = triggers[5].y = INT32_MIN;
    triggers[5].w = triggers[5].h = INT32_MAX;  // beyond the count: never visited

    struct Case {
        int32_t px, py;
        int expected;  // index, or -1 for none
    };
    const Case cases[] = {
        {3, 3, 0}, {4, 1, 1}, {5, 3, 1}, {6, 1, -1}, {-1, 0, -1},
        {10, 10, 3}, {INT32_MAX, INT32_MAX, 3}, {INT32_MIN, INT32_MIN, -1},
    };
    for (const Case &c : cases) {
        const Trigger *found = trigger_at(c.px, c.py);
        EXPECT_EQ(found ? found - triggers : -1, c.expected) << c.px << ", " << c.py;
    }
    triggers[0].active = false;
    EXPECT_EQ(trigger_at(3, 3), &triggers[1]);
}

TEST_F(Triggers, CameraCommandsSetTheirLockAndDisarm) {
    struct Case {
        int32_t command;
        bool locked_before, x_locked_before;
        bool locked, x_locked;
        float target_x, target_y;
    };
    const Case cases[] = {
        {TRIGGER_UNLOCKCAMERA, true, true, false, true, 0, 0},
        {TRIGGER_LOCKCAMERA, false, false, true, false, 0, 0},
        {TRIGGER_LOCKCAMERAX, false, false, false, true, 0, 0},
        {TRIGGER_MOVECAMERA, false, true, true, true, 10, -20},
    };
    for (const Case &c : cases) {
        level_state.camera_locked = c.locked_before;
        level_state.camera_x_locked = c.x_locked_before;
        level_state.camera_target_x = level_state.camera_target_y = 0.0f;
        Trigger trigger = make_trigger(c.command, 10, -20);
        run_trigger(trigger);
        SCOPED_TRACE(c.command);
        EXPECT_EQ(level_state.camera_locked, c.locked);
        EXPECT_EQ(level_state.camera_x_locked, c.x_locked);
        EXPECT_EQ(level_state.camera_target_x, c.target_x);
        EXPECT_EQ(level_state.camera_target_y, c.target_y);
        EXPECT_FALSE(trigger.active);
    }
}

TEST_F(Triggers, CreateDoodadMakesAnInvisibleBoxThatIsSolidAtOnce) {
    Trigger trigger = make_trigger(TRIGGER_CREATEDOODAD);
    trigger.new_x = -40;  // outside the level, where nothing else is solid
    trigger.new_y = -20;
    trigger.new_w = 4;
    trigger.new_h = 2;
    const int32_t index = doodad_count;
    run_trigger(trigger);
    EXPECT_FALSE(trigger.active);
    ASSERT_EQ(doodad_count, index + 1);
    EXPECT_EQ(doodads[index].type, -1);
    EXPECT_EQ(doodads[index].home_x, -40);
    EXPECT_EQ(doodads[index].width, 4);
    EXPECT_EQ(solid_at(-40, -20), index);
    EXPECT_EQ(solid_at(-37, -19), index);
    EXPECT_EQ(solid_at(-36, -19), NO_DOODAD);

    // A full table takes nothing more; the trigger is used up all the same.
    doodad_count = DOODAD_CAPACITY;
    trigger.active = true;
    run_trigger(trigger);
    EXPECT_EQ(doodad_count, DOODAD_CAPACITY);
    EXPECT_FALSE(trigger.active);
}

TEST_F(Triggers, StartBossRunsTwelveSecondsWithTheBossMusic) {
    Trigger trigger = make_trigger(TRIGGER_STARTBOSS);
    run_trigger(trigger);
    EXPECT_EQ(boss.timer, 12.0f);
    EXPECT_EQ(current_music, MUSIC_BOSS);
    EXPECT_FALSE(trigger.active);
}

TEST_F(Triggers, QuitAndCutsceneStayArmed) {
    Trigger quit = make_trigger(TRIGGER_QUIT);
    run_trigger(quit);
    EXPECT_TRUE(quit_requested);
    EXPECT_TRUE(quit.active);

    Trigger cutscene = make_trigger(TRIGGER_CUTSCENE, 5);
    run_trigger(cutscene);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 5);
    EXPECT_TRUE(cutscene.active);
    EXPECT_EQ(level_state.level, 3);
}

TEST_F(Triggers, LevelTriggerLoadsItsLevelAtItsEntrance) {
    Trigger trigger = make_trigger(TRIGGER_LEVEL, 4, 0);
    run_trigger(trigger);
    EXPECT_EQ(level_state.level, 4);
    EXPECT_EQ(player.x, 10.0f);
    EXPECT_EQ(player.y, 39.0f);
}

TEST_F(Triggers, NewGameChangesProgressInMemoryOnly) {
    settings.buttstomp = true;
    settings.savelevel = 4;
    settings.savecheckpoint = 2;
    settings_save();
    const std::string saved = read_file(app_save_path);

    Trigger trigger = make_trigger(TRIGGER_NEWGAME, 3, 1);
    run_trigger(trigger);
    EXPECT_FALSE(settings.buttstomp);
    EXPECT_EQ(settings.savelevel, 3);
    EXPECT_EQ(settings.savecheckpoint, 1);
    EXPECT_EQ(read_file(app_save_path), saved);
    EXPECT_EQ(level_state.level, 3);
    EXPECT_EQ(player.x, 120.0f);  // entrance 1
    EXPECT_TRUE(save_points[0].lit);  // checkpoint 1 of level 3 is now the progress
}

TEST_F(Triggers, LoadGameContinuesAtTheSavedPointWithFullHealth) {
    settings.savelevel = 4;
    settings.savecheckpoint = 1;
    player.lives = 1;
    player.health = 2;
    Trigger trigger = make_trigger(TRIGGER_LOADGAME, 3, 0);
    run_trigger(trigger);
    EXPECT_EQ(level_state.level, 4);
    EXPECT_EQ(player.x, 16.0f);  // savepoint:1:14:36
    EXPECT_EQ(player.y, 39.0f);
    EXPECT_EQ(player.lives, 3);
    EXPECT_EQ(player.health, 5);
    EXPECT_TRUE(save_points[0].lit);
    EXPECT_FALSE(cutscene_active);
}

TEST_F(Triggers, LoadGameWithoutASavedGamePlaysCutsceneTwoAndStaysInTheLevel) {
    player.lives = 2;
    Trigger trigger = make_trigger(TRIGGER_LOADGAME, 3, 0);
    run_trigger(trigger);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 2);
    EXPECT_EQ(level_state.level, 3);
    EXPECT_EQ(player.x, 8.0f);
    EXPECT_EQ(player.lives, 2);
    EXPECT_TRUE(trigger.active);
}
