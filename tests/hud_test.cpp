// The HUD over the canvas, with the fixture's HUD sheet: a grey empty bar
// (whose first two pixels are an empty life slot), a red fill and green pips.
#include "render/hud.h"
#include "render_support.h"

#include <cstring>

namespace {

constexpr Rgba GREY = {128, 128, 128, 255};
constexpr Rgba RED = {255, 0, 0, 255};
constexpr Rgba GREEN = {0, 255, 0, 255};

class Hud : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        level_state.level = 3;
        player.health = 5;
        player.lives = 3;
    }
    static Picture draw() {
        hud_draw();
        return read_target(canvas);
    }
    // A lit pixel of the title's first glyph: "T" is centred on 32 at y 8.
    static int title_brightness(float timer) {
        clear_target(canvas);
        level_state.title_timer = timer;
        return draw().at(31, 12).r;
    }
};

}  // namespace

TEST_F(Hud, FillsTheBarThreePixelsAHealthPointAndNeverPastIt) {
    struct Case {
        int health;
        int filled;
    };
    const Case cases[] = {{5, 14}, {1, 2}, {0, 0}, {-4, 0}, {7, 14}, {2000000000, 14}};
    for (const Case &c : cases) {
        clear_target(canvas);
        player.health = c.health;
        const Picture picture = draw();
        for (int x = 0; x < 17; ++x) {
            const Rgba want = x < 1 || x > 14 ? BLACK : x <= c.filled ? RED : GREY;
            EXPECT_EQ(picture.at(x, 3), want) << "health " << c.health << " x " << x;
        }
    }
}

TEST_F(Hud, ShowsAPipPerLifeInFiveSlots) {
    struct Case {
        int lives;
        int pips;
    };
    const Case cases[] = {{3, 3}, {0, 0}, {5, 5}};
    for (const Case &c : cases) {
        clear_target(canvas);
        player.lives = c.lives;
        const Picture picture = draw();
        for (int slot = 0; slot < 5; ++slot) {
            const Rgba want = slot < c.pips ? GREEN : GREY;
            EXPECT_EQ(picture.at(1 + 3 * slot, 1), want) << c.lives << " lives, slot " << slot;
            EXPECT_EQ(picture.at(2 + 3 * slot, 1), want) << c.lives << " lives, slot " << slot;
            EXPECT_EQ(picture.at(3 + 3 * slot, 1), BLACK) << c.lives << " lives, slot " << slot;
        }
    }
    // Lives past the slots do not draw on without end.
    clear_target(canvas);
    player.lives = 2000000000;
    EXPECT_EQ(draw().at(61, 1), GREEN);
}

TEST_F(Hud, TheTitleLevelShowsNoBarPipsOrTitleButStillFades) {
    level_state.level = 0;
    std::strcpy(level_state.title, "Title");
    level_state.title_timer = 2.0f;
    EXPECT_EQ(draw().lit(), 0);

    clear_target(canvas, WHITE);
    level_state.fade_in_duration = 1.0f;
    EXPECT_EQ(draw().at(40, 20), BLACK);
}

TEST_F(Hud, TheTitleFadesInHoldsAndFadesOut) {
    std::strcpy(level_state.title, "T");
    struct Case {
        float timer;
        int alpha;
    };
    // In over the first 0.75 s, out over the last 0.75 s.
    const Case cases[] = {{3.75f, 0}, {3.5f, 85}, {3.0001f, 254}, {0.5f, 170}, {0.01f, 3}, {0.0f, 0}};
    for (const Case &c : cases) EXPECT_NEAR(title_brightness(c.timer), c.alpha, 1) << c.timer;

    // Between the fades the last fade-in alpha stays.
    title_brightness(3.5f);
    EXPECT_NEAR(title_brightness(2.0f), 85, 1);
    title_brightness(3.0001f);
    EXPECT_NEAR(title_brightness(1.0f), 254, 1);

    // Without a title nothing is drawn (the bar and pips lie above row 8).
    level_state.title[0] = '\0';
    clear_target(canvas);
    level_state.title_timer = 2.0f;
    const Picture picture = draw();
    for (int y = 8; y < 36; ++y) EXPECT_EQ(picture.lit_in_row(y), 0) << y;
}

TEST_F(Hud, BothFadesDrawTheFadeInFirst) {
    struct Case {
        float in_duration, in_elapsed, out_duration, out_elapsed;
        int brightness;  // of a white canvas afterwards
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.0f, 0.0f, 0},          // the fade-in starts black
        {2.0f, 1.0f, 0.0f, 0.0f, 128},        // alpha 255 - 127
        {0.0f, 0.0f, 1.0f, 0.25f, 192},       // alpha 63
        {2.0f, 1.0f, 1.0f, 0.25f, 96},        // both: 255 x 127/255 x 192/255
        {0.0f, 0.0f, 0.0f, 0.0f, 255},
    };
    for (const Case &c : cases) {
        clear_target(canvas, WHITE);
        level_state.fade_in_duration = c.in_duration;
        level_state.fade_in_elapsed = c.in_elapsed;
        level_state.fade_out_duration = c.out_duration;
        level_state.fade_out_elapsed = c.out_elapsed;
        EXPECT_NEAR(draw().at(40, 20).r, c.brightness, 2) << c.in_duration << " " << c.out_duration;
    }
}

TEST_F(Hud, TheClosingWordsShowOnlyInTheLastFourSeconds) {
    level_state.level = 0;
    level_state.fade_out_duration = 1.0f;
    level_state.fade_out_elapsed = 0.99f;  // nearly black: the words lie above it
    const struct {
        float timer;
        bool shown;
    } cases[] = {{0.0f, false}, {0.01f, true}, {3.99f, true}, {4.0f, false}, {11.0f, false}};
    for (const auto &c : cases) {
        clear_target(canvas);
        boss.timer = c.timer;
        const Picture picture = draw();
        // "To Be" on rows 18..22, "Continued..." on rows 28..32.
        int white_20 = 0, white_30 = 0;
        for (int x = 0; x < 64; ++x) {
            white_20 += picture.at(x, 20) == WHITE;
            white_30 += picture.at(x, 30) == WHITE;
        }
        EXPECT_EQ(white_20 > 10, c.shown) << c.timer;
        EXPECT_EQ(white_30 > 20, c.shown) << c.timer;
    }
}
