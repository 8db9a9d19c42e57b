// The pause menu's input rules and its picture, on the fixture archive (whose
// glyphs are white boxes over rows 2 to 6 of each line).
#include "app/pause_menu.h"
#include "common/controls.h"
#include "common/settings.h"
#include "render_support.h"

#include <cmath>
#include <limits>

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();
using Control = bool Controls::*;
constexpr Control UP = &Controls::up, DOWN = &Controls::down, LEFT = &Controls::left,
                  RIGHT = &Controls::right, JUMP = &Controls::jump, SHOOT = &Controls::shoot;

class PauseMenu : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        std::snprintf(app_save_path, sizeof app_save_path, "%s", folder.file("numbral.save").c_str());
        settings_apply_defaults();
        controls = {};
        pause_menu_open();
    }
    void TearDown() override {
        app_save_path[0] = '\0';
        controls = {};
        paused = false;
    }
    // One frame with only this control held; a pending pause request stays.
    static void frame(Control held = nullptr) {
        const bool pending = controls.pause_requested;
        controls = {};
        if (held) controls.*held = true;
        controls.pause_requested = pending;
        pause_menu_update();
    }
    // A press: the control alone for a frame, then a frame with nothing held.
    static void press(Control held) {
        frame(held);
        frame();
    }
    bool saved() const { return path_exists(app_save_path); }

    TempDir folder;
};

}  // namespace

TEST_F(PauseMenu, DrawsTheCursorAndTheVolumeHeldWithinZeroToOneLeavingTheStoredValue) {
    struct Case {
        float volume;
        int bar;            // purple pixels from x 20
        int label_columns;  // white columns of the label in row 13: two digits 8, "100" 10
    } const cases[] = {{0.05f, 2, 8}, {1.0f, 42, 10}, {0.0f, 0, 8},  {5.0f, 42, 10},
                       {INF, 42, 10}, {-1.0f, 0, 8}, {std::nanf(""), 0, 8}};
    for (const Case &c : cases) {
        settings.volume = c.volume;
        menu_cursor = 1 + static_cast<int>(&c - cases) % 4;
        pause_menu_draw();
        const Picture picture = read_target(canvas);
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(picture.at(3, row * 9 + 4) == WHITE, row == menu_cursor - 1) << menu_cursor << row;
        }
        EXPECT_EQ(picture.at(19 + c.bar, 13), (c.bar > 0 ? Rgba{80, 40, 80, 255} : BLACK)) << c.volume;
        EXPECT_EQ(picture.at(20 + c.bar, 13), (c.bar < 42 ? Rgba{40, 40, 40, 255} : BLACK)) << c.volume;
        int label = 0;
        for (int x = 25; x < 45; ++x) label += picture.at(x, 13) == WHITE;
        EXPECT_EQ(label, c.label_columns) << c.volume;
        EXPECT_TRUE(settings.volume == c.volume || std::isnan(c.volume)) << c.volume;
    }
}

TEST_F(PauseMenu, TheCursorWrapsAndMovesOnceForEachPress) {
    // A held control steps once, then nothing until every control is released.
    const std::pair<Control, int> frames[] = {{UP, 4},   {nullptr, 4}, {DOWN, 1}, {nullptr, 1},
                                              {DOWN, 2}, {DOWN, 2},    {LEFT, 2}, {nullptr, 2}, {DOWN, 3}};
    for (const auto &[held, cursor] : frames) {
        frame(held);
        EXPECT_EQ(menu_cursor, cursor);
    }
}

TEST_F(PauseMenu, ThePauseKeyWaitsUntilEveryControlIsReleased) {
    frame(DOWN);
    controls.pause_requested = true;
    frame(DOWN);
    EXPECT_TRUE(paused);
    EXPECT_TRUE(controls.pause_requested);  // still pending
    frame();  // armed again
    frame();
    EXPECT_FALSE(paused);
    EXPECT_FALSE(controls.pause_requested);
}

TEST_F(PauseMenu, VolumeStepsInSinglePrecisionFromTheShownValueWithinZeroToOne) {
    struct Case {
        float stored;
        Control held;
        float after;
    } const cases[] = {
        {0.02f, LEFT, 0.0f}, {0.98f, RIGHT, 1.0f}, {0.7f, RIGHT, 0.7f + 0.05f}, {5.0f, LEFT, 1.0f - 0.05f},
        {INF, RIGHT, 1.0f},  {std::nanf(""), RIGHT, 0.05f},
        {0.5f, JUMP, 0.5f},  // confirming does nothing on this item
    };
    for (const Case &c : cases) {
        std::remove(app_save_path);
        settings.volume = c.stored;
        pause_menu_open();
        press(DOWN);
        press(c.held);
        EXPECT_EQ(settings.volume, c.after) << c.stored;
        EXPECT_EQ(saved(), c.held != JUMP) << c.stored;
        EXPECT_TRUE(paused);
    }
    settings.volume = 0.75f;
    for (Control held : {LEFT, LEFT, LEFT, UP, RIGHT}) press(held);  // sideways on "Unpause" does nothing
    EXPECT_EQ(settings.volume, 0.75f - 0.05f - 0.05f - 0.05f);
}

TEST_F(PauseMenu, UnpauseClosesTheMenuAtOnceEvenWithTheControlStillHeld) {
    for (Control confirm : {JUMP, SHOOT}) {
        pause_menu_open();
        controls.pause_requested = true;
        frame(confirm);
        EXPECT_FALSE(paused);
        EXPECT_FALSE(controls.pause_requested);
        EXPECT_TRUE(controls.*confirm);  // the play step of this frame sees it
    }
}

TEST_F(PauseMenu, FullscreenSwitchesOncePerPressSavesAndStaysOpen) {
    const bool before = settings.fullscreen;
    press(DOWN);
    press(DOWN);
    frame(SHOOT);
    frame(SHOOT);  // still held: nothing more
    EXPECT_NE(settings.fullscreen, before);
    EXPECT_TRUE(saved());
    EXPECT_TRUE(paused);
    frame();
    frame(JUMP);
    EXPECT_EQ(settings.fullscreen, before);
}

TEST_F(PauseMenu, ExitLoadsTheTitleLevelWithoutSaving) {
    level_state.level = 3;
    press(UP);
    frame(JUMP);
    EXPECT_FALSE(paused);
    EXPECT_EQ(level_state.level, 0);
    EXPECT_FALSE(saved());
}
