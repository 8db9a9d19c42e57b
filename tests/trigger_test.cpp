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

#include <cstdio>
#include <cstring>
#include <string>

namespace {

class Triggers : public testing::Test {
protected:
    static void SetUpTestSuite() { start_test_video(); }
    static void TearDownTestSuite() { stop_test_video(); }
    void SetUp() override {
        settings_apply_defaults();
        std::strcpy(app_save_path, folder.file("numbral.save").c_str());
        quit_requested = false;
        current_music = MUSIC_NONE;
        boss = {};
        ASSERT_TRUE(load_level(3, 0, false));
    }
    void TearDown() override {
        cutscene_end();
        release_level_textures();
        app_save_path[0] = '\0';
    }
    TempDir folder;
};

}  // namespace

TEST_F(Triggers, TheFirstArmedTriggerHoldingThePointRuns) {
    // Fields: active, x, y, w, h, then the command's (none needed here).
    trigger_count = 5;
    triggers[0] = {true, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0};  // covers 0..3
    triggers[1] = {true, 2, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0};  // overlaps at 2..3, reaches 5
    triggers[2] = {false, 10, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0};
    triggers[3] = {true, 10, 10, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0, 0, 0};  // far end past the int range
    triggers[4] = {true, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    triggers[5] = {true, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0, 0, 0};  // past the count

    const struct {
        int32_t px, py;
        int expected;  // index, or -1 for none
    } cases[] = {
        {3, 3, 0}, {4, 1, 1}, {5, 3, 1}, {6, 1, -1}, {-1, 0, -1},
        {10, 10, 3}, {INT32_MAX, INT32_MAX, 3}, {INT32_MIN, INT32_MIN, -1},
    };
    for (const auto &c : cases) {
        const Trigger *found = trigger_at(c.px, c.py);
        EXPECT_EQ(found ? found - triggers : -1, c.expected) << c.px << ", " << c.py;
    }
    triggers[0].active = false;
    EXPECT_EQ(trigger_at(3, 3), &triggers[1]);
}

// What each command changes, and whether the trigger is used up. Commands
// that move to another place (a level, a cutscene, the end) stay armed.
TEST_F(Triggers, CommandsAndWhichOfThemDisarm) {
    const struct {
        int32_t command, param_a, param_b;
        bool locked_before, x_locked_before;
        int32_t savelevel, savecheckpoint;  // progress before the command
        const char *after;
    } cases[] = {
        {TRIGGER_UNLOCKCAMERA, 0, 0, true, true, -1, -1, "level 3 at 8,27 x-locked"},
        {TRIGGER_LOCKCAMERA, 0, 0, false, false, -1, -1, "level 3 at 8,27 locked"},
        {TRIGGER_LOCKCAMERAX, 0, 0, false, false, -1, -1, "level 3 at 8,27 x-locked"},
        {TRIGGER_MOVECAMERA, 10, -20, false, true, -1, -1, "level 3 at 8,27 locked x-locked to 10,-20"},
        {TRIGGER_STARTBOSS, 0, 0, false, false, -1, -1, "level 3 at 8,27 boss 12 boss music"},
        {TRIGGER_QUIT, 0, 0, false, false, -1, -1, "level 3 at 8,27 quit armed"},
        {TRIGGER_CUTSCENE, 5, 0, false, false, -1, -1, "level 3 at 8,27 cutscene 5 armed"},
        {TRIGGER_LEVEL, 4, 0, false, false, -1, -1, "level 4 at 10,39 armed"},
        // A new game resets the progress, in memory only; continuing fills
        // health and lives and arrives at the saved point.
        {TRIGGER_NEWGAME, 3, 1, false, false, 4, 2, "level 3 at 120,27 progress 3/1 lit armed"},
        {TRIGGER_LOADGAME, 3, 0, false, false, 4, 1, "level 4 at 16,39 lit full armed"},
        // Without a saved game there is nothing to continue: cutscene 2.
        {TRIGGER_LOADGAME, 3, 0, false, false, -1, 1, "level 3 at 8,27 cutscene 2 armed"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(load_level(3, 0, false));
        settings.buttstomp = true;
        settings.savelevel = c.savelevel;
        settings.savecheckpoint = c.savecheckpoint;
        settings_save();
        const std::string saved = read_file(app_save_path);
        level_state.camera_locked = c.locked_before;
        level_state.camera_x_locked = c.x_locked_before;
        player.health = player.lives = 1;
        quit_requested = false;
        current_music = MUSIC_NONE;
        boss.timer = 0.0f;

        Trigger trigger = {true, 0, 0, 0, 0, c.param_a, c.param_b, 0, 0, 0, 0, c.command};
        run_trigger(trigger);
        char after[256];
        std::snprintf(after, sizeof after, "level %d at %g,%g%s%s", level_state.level, player.x, player.y,
                      level_state.camera_locked ? " locked" : "", level_state.camera_x_locked ? " x-locked" : "");
        std::string text = after;
        if (level_state.camera_target_x != 0.0f || level_state.camera_target_y != 0.0f) {
            std::snprintf(after, sizeof after, " to %g,%g", level_state.camera_target_x, level_state.camera_target_y);
            text += after;
        }
        if (boss.timer != 0.0f) text += " boss " + std::to_string(static_cast<int>(boss.timer));
        if (current_music == MUSIC_BOSS) text += " boss music";
        if (settings.savelevel != c.savelevel || settings.savecheckpoint != c.savecheckpoint)
            text += " progress " + std::to_string(settings.savelevel) + "/" + std::to_string(settings.savecheckpoint);
        if (save_point_count > 0 && save_points[0].lit) text += " lit";
        if (player.health == 5 && player.lives == 3) text += " full";
        if (quit_requested) text += " quit";
        if (cutscene_active) text += " cutscene " + std::to_string(cutscene_number);
        if (trigger.active) text += " armed";
        EXPECT_EQ(text, c.after) << c.command;
        EXPECT_EQ(settings.buttstomp, c.command != TRIGGER_NEWGAME) << c.command;
        EXPECT_EQ(read_file(app_save_path), saved) << c.command;
        cutscene_end();
    }
}

TEST_F(Triggers, CreateDoodadMakesAnInvisibleBoxThatIsSolidAtOnce) {
    // Outside the level, where nothing else is solid.
    Trigger trigger = {true, 0, 0, 0, 0, 0, 0, -40, -20, 4, 2, TRIGGER_CREATEDOODAD};
    const int32_t index = doodad_count;
    run_trigger(trigger);
    EXPECT_FALSE(trigger.active);
    ASSERT_EQ(doodad_count, index + 1);
    EXPECT_EQ(doodads[index].type, -1);
    EXPECT_EQ(solid_at(-37, -19), index);
    EXPECT_EQ(solid_at(-36, -19), NO_DOODAD);
    EXPECT_EQ(solid_at(-37, -18), NO_DOODAD);

    // A full table takes nothing more; the trigger is used up all the same.
    doodad_count = DOODAD_CAPACITY;
    trigger.active = true;
    run_trigger(trigger);
    EXPECT_EQ(doodad_count, DOODAD_CAPACITY);
    EXPECT_FALSE(trigger.active);
}
