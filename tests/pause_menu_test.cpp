// The pause menu's input rules and its picture, on the fixture archive (whose
// glyphs are white boxes over rows 2 to 6 of each line).
#include "app/pause_menu.h"
#include "common/controls.h"
#include "common/settings.h"
#include "render_support.h"

#include <cmath>
#include <limits>
#include <map>

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
    } const cases[] = {{0.05f, 2, 8}, {1.0f, 42, 10}, {5.0f, 42, 10}, {-1.0f, 0, 8}, {std::nanf(""), 0, 8}};
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

TEST_F(PauseMenu, VolumeStepsInSinglePrecisionFromTheShownValueWithinZeroToOne) {
    struct Case {
        float stored;
        Control held;
        float after;
    } const cases[] = {
        {0.02f, LEFT, 0.0f},  {0.98f, RIGHT, 1.0f},         {0.7f, RIGHT, 0.7f + 0.05f},
        {INF, LEFT, 1.0f - 0.05f}, {std::nanf(""), RIGHT, 0.05f},
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

// A script is one frame per letter: the control held (U, D, J, S, '.' for
// none), followed by '!' when the pause key asks in that frame.
TEST_F(PauseMenu, ThePauseKeyUnpauseFullscreenAndExit) {
    const std::map<char, Control> held = {{'U', UP}, {'D', DOWN}, {'J', JUMP}, {'S', SHOOT}, {'.', nullptr}};
    const struct {
        const char *script;
        bool paused, pending, fullscreen_switched, saved;
        int32_t level;
    } cases[] = {
        {"DD!", true, true, false, false, 3},  // the pause key waits until every control is released
        {"DD!..", false, false, false, false, 3},
        {"J!", false, false, false, false, 3},  // Unpause closes at once, the control still held
        {"S!", false, false, false, false, 3},
        {"D.D.SS", true, false, true, true, 3},  // once per press, saved, still open
        {"D.D.SS.J", true, false, false, true, 3},
        {"U.J", false, false, false, false, 0},  // Exit: the title level, nothing saved
    };
    for (const auto &c : cases) {
        SetUp();
        std::remove(app_save_path);
        level_state.level = 3;
        const bool fullscreen = settings.fullscreen;
        Control last = nullptr;
        for (const char *step = c.script; *step; ++step) {
            const bool pause_key = step[1] == '!';
            if (pause_key) controls.pause_requested = true;
            frame(last = held.at(*step));
            step += pause_key;
        }
        SCOPED_TRACE(c.script);
        EXPECT_EQ(paused, c.paused);
        EXPECT_EQ(controls.pause_requested, c.pending);
        EXPECT_EQ(settings.fullscreen != fullscreen, c.fullscreen_switched);
        EXPECT_EQ(saved(), c.saved);
        EXPECT_EQ(level_state.level, c.level);
        EXPECT_TRUE(!last || controls.*last);  // the play step of the frame sees the control
    }
}
