// The pause menu's input rules and its picture, on the fixture archive (whose
// glyphs are white boxes over rows 2 to 6 of each line).
#include "app/pause_menu.h"
#include "common/controls.h"
#include "common/settings.h"
#include "render_support.h"

#include <cmath>
#include <limits>

namespace {

constexpr Rgba BAR_EMPTY = {40, 40, 40, 255};
constexpr Rgba BAR_FULL = {80, 40, 80, 255};

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
    // One frame with exactly these controls held.
    static void frame(Controls held) {
        const bool pending = controls.pause_requested;
        controls = held;
        controls.pause_requested = controls.pause_requested || pending;
        pause_menu_update();
    }
    // A press: the control alone for a frame, then a frame with nothing held.
    static void press(Controls held) {
        frame(held);
        frame({});
    }
    static Picture draw() {
        pause_menu_draw();
        return read_target(canvas);
    }
    bool saved() const { return path_exists(app_save_path); }

    TempDir folder;
};

Controls held(bool Controls::*control, bool Controls::*also = nullptr) {
    Controls c = {};
    c.*control = true;
    if (also) c.*also = true;
    return c;
}

const Controls UP = held(&Controls::up);
const Controls DOWN = held(&Controls::down);
const Controls LEFT = held(&Controls::left);
const Controls RIGHT = held(&Controls::right);
const Controls JUMP = held(&Controls::jump);
const Controls SHOOT = held(&Controls::shoot);

}  // namespace

TEST_F(PauseMenu, DrawsTheFourLabelsAndTheCursorOnTheSelectedRow) {
    for (int cursor = 1; cursor <= 4; ++cursor) {
        menu_cursor = cursor;
        const Picture picture = draw();
        for (int row = 0; row < 4; ++row) {
            const int y = row * 9 + 4;
            EXPECT_EQ(picture.at(6, y), WHITE) << "label " << row;         // first glyph of the label at x 5
            EXPECT_EQ(picture.at(3, y) == WHITE, row == cursor - 1) << "cursor " << cursor << " row " << row;
        }
    }
}

TEST_F(PauseMenu, TheBarAndLabelShowTheVolumeHeldWithinZeroToOne) {
    struct Case {
        float volume;
        int bar;            // purple pixels from x 20
        int label_columns;  // white columns of the label in row 13: two digits 8, "100" 10
    };
    const float infinity = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {0.75f, 32, 8}, {0.05f, 2, 8}, {1.0f, 42, 10}, {0.0f, 0, 8},
        {5.0f, 42, 10}, {infinity, 42, 10}, {-1.0f, 0, 8}, {std::nanf(""), 0, 8},
    };
    for (const Case &c : cases) {
        settings.volume = c.volume;
        const Picture picture = draw();
        if (c.bar > 0) {
            EXPECT_EQ(picture.at(20 + c.bar - 1, 13), BAR_FULL) << c.volume;
        }
        if (c.bar < 42) {
            EXPECT_EQ(picture.at(20 + c.bar, 13), BAR_EMPTY) << c.volume;
        }
        EXPECT_EQ(picture.at(62, 13), BLACK) << c.volume;
        int label = 0;
        for (int x = 25; x < 45; ++x) label += picture.at(x, 13) == WHITE;
        EXPECT_EQ(label, c.label_columns) << c.volume;
        // Drawing leaves the stored value alone.
        if (!std::isnan(c.volume)) {
            EXPECT_EQ(settings.volume, c.volume);
        }
    }
}

TEST_F(PauseMenu, TheCursorWrapsAndMovesOnceForEachPress) {
    press(UP);
    EXPECT_EQ(menu_cursor, 4);
    press(DOWN);
    EXPECT_EQ(menu_cursor, 1);
    // Held down: one step, then nothing until every control is released.
    frame(DOWN);
    frame(DOWN);
    frame(DOWN);
    EXPECT_EQ(menu_cursor, 2);
    frame({});
    frame(DOWN);
    EXPECT_EQ(menu_cursor, 3);
}

TEST_F(PauseMenu, ThePauseKeyWaitsUntilEveryControlIsReleased) {
    frame(DOWN);
    frame(held(&Controls::down, &Controls::pause_requested));
    frame(DOWN);
    EXPECT_TRUE(paused);
    EXPECT_TRUE(controls.pause_requested);  // still pending
    frame({});  // armed again
    frame({});
    EXPECT_FALSE(paused);
    EXPECT_FALSE(controls.pause_requested);
}

TEST_F(PauseMenu, VolumeStepsInSinglePrecisionAndStaysWithinZeroToOne) {
    struct Case {
        float stored;
        Controls held;
        float after;
    };
    const Case cases[] = {
        {0.02f, LEFT, 0.0f},
        {0.98f, RIGHT, 1.0f},
        {0.75f, LEFT, 0.75f - 0.05f},
        {0.7f, RIGHT, 0.7f + 0.05f},
        {5.0f, LEFT, 1.0f - 0.05f},  // a stored value past 1 steps from what is shown
        {std::numeric_limits<float>::infinity(), RIGHT, 1.0f},
        {0.5f, JUMP, 0.5f},  // confirming does nothing on this item
    };
    for (const Case &c : cases) {
        std::remove(app_save_path);
        settings.volume = c.stored;
        pause_menu_open();
        press(DOWN);
        press(c.held);
        EXPECT_EQ(settings.volume, c.after) << c.stored;
        EXPECT_EQ(saved(), c.stored != c.after) << c.stored;
        EXPECT_TRUE(paused);
    }
    // Three steps down keep the single-precision inexactness.
    settings.volume = 0.75f;
    for (int i = 0; i < 3; ++i) press(LEFT);
    EXPECT_EQ(settings.volume, 0.75f - 0.05f - 0.05f - 0.05f);
    // Sideways on another item changes nothing.
    press(UP);
    press(LEFT);
    press(RIGHT);
    EXPECT_EQ(settings.volume, 0.75f - 0.05f - 0.05f - 0.05f);
    EXPECT_EQ(menu_cursor, 1);
    EXPECT_TRUE(paused);
}

TEST_F(PauseMenu, UnpauseClosesTheMenuAtOnceEvenWithTheControlStillHeld) {
    for (const Controls &confirm : {JUMP, SHOOT}) {
        pause_menu_open();
        controls.pause_requested = true;
        frame(confirm);
        EXPECT_FALSE(paused);
        EXPECT_FALSE(controls.pause_requested);
        EXPECT_TRUE(controls.jump || controls.shoot);  // the play step of this frame sees it
    }
}

TEST_F(PauseMenu, FullscreenSwitchesSavesAndStaysOpen) {
    const bool before = settings.fullscreen;
    press(DOWN);
    press(DOWN);
    frame(SHOOT);
    EXPECT_NE(settings.fullscreen, before);
    EXPECT_TRUE(saved());
    EXPECT_TRUE(paused);
    EXPECT_EQ(menu_cursor, 3);
    frame(SHOOT);  // still held: nothing more
    EXPECT_NE(settings.fullscreen, before);
    frame({});
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
