// The HUD over the canvas, with the fixture's HUD sheet: a grey empty bar
// (whose first two pixels are an empty life slot), a red fill and green pips.
#include "render/hud.h"
#include "render_support.h"

#include <cstring>

namespace {

constexpr Rgba GREY = {128, 128, 128, 255};

class Hud : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        level_state.level = 3;
    }
    static Picture draw(Rgba background = BLACK) {
        clear_target(canvas, background);
        hud_draw();
        return read_target(canvas);
    }
};

}  // namespace

TEST_F(Hud, FillsTheBarThreePixelsAHealthPointNeverPastItAndShowsAPipPerLifeWithinTheCanvas) {
    struct Case {
        int health, lives, filled, pips;
    } const cases[] = {{1, 0, 2, 0},  {0, 5, 0, 5}, {-4, 1, 0, 1},
                       {7, 3, 14, 3}, {2'000'000'000, 2'000'000'000, 14, 21}};
    for (const Case &c : cases) {
        player.health = c.health;
        player.lives = c.lives;
        const Picture picture = draw();
        for (int x = 0; x < CANVAS_WIDTH; ++x) {
            const Rgba bar = x < 1 || x > 14 ? BLACK : x <= c.filled ? RED : GREY;
            EXPECT_EQ(picture.at(x, 3), bar) << "health " << c.health << " x " << x;
            // Slots of two pixels every three from x 1; the first five grey when empty.
            const int slot = (x - 1) / 3;
            const bool gap = x < 1 || (x - 1) % 3 == 2;
            EXPECT_EQ(picture.at(x, 1), gap ? BLACK : slot < c.pips ? GREEN : slot < 5 ? GREY : BLACK)
                << "lives " << c.lives << " x " << x;
        }
    }
}

TEST_F(Hud, TheTitleFadesInHoldsAndFadesOut) {
    std::strcpy(level_state.title, "T");
    // In over the first 0.75 s, out over the last 0.75 s; between the fades
    // the last fade-in alpha stays.
    const std::pair<float, int> steps[] = {{3.75f, 0},  {3.5f, 85},  {2.0f, 85},  {3.0001f, 254},
                                           {1.0f, 254}, {0.5f, 170}, {0.01f, 3}, {0.0f, 0}};
    for (const auto &[timer, alpha] : steps) {
        level_state.title_timer = timer;
        EXPECT_NEAR(draw().at(31, 12).r, alpha, 1) << timer;  // "T" is centred on 32 at y 8
    }
}

TEST_F(Hud, TheTitleLevelShowsNoBarPipsOrTitleButBothFadesDarkenEveryLevel) {
    level_state.level = 0;
    std::strcpy(level_state.title, "Title");
    level_state.title_timer = 2.0f;
    EXPECT_EQ(draw().lit(), 0);

    struct Case {
        int level;
        float in_duration, in_elapsed, out_duration, out_elapsed;
        int brightness;  // of a white canvas afterwards
    } const cases[] = {
        {3, 1.0f, 0.0f, 0.0f, 0.0f, 0},     // the fade-in starts black
        {0, 2.0f, 1.0f, 0.0f, 0.0f, 128},   // alpha 255 - 127
        {3, 0.0f, 0.0f, 1.0f, 0.25f, 192},  // alpha 63
        {0, 2.0f, 1.0f, 1.0f, 0.25f, 96},   // both: 255 x 128/255 x 192/255
        {0, 0.0f, 0.0f, 0.0f, 0.0f, 255},
    };
    for (const Case &c : cases) {
        level_state.level = c.level;
        level_state.fade_in_duration = c.in_duration;
        level_state.fade_in_elapsed = c.in_elapsed;
        level_state.fade_out_duration = c.out_duration;
        level_state.fade_out_elapsed = c.out_elapsed;
        EXPECT_NEAR(draw(WHITE).at(40, 20).r, c.brightness, 2) << c.in_duration << " " << c.out_duration;
    }
}

TEST_F(Hud, TheClosingWordsShowAboveTheFadeOnlyInTheLastFourSeconds) {
    level_state.level = 0;
    level_state.fade_out_duration = 1.0f;
    level_state.fade_out_elapsed = 0.99f;  // nearly black
    for (const auto &[timer, shown] : {std::pair{0.0f, false}, {0.01f, true}, {3.99f, true}, {4.0f, false}}) {
        boss.timer = timer;
        const Picture picture = draw(WHITE);
        // White pixels of "To Be" (rows 18..22) and "Continued..." (rows 28..32).
        EXPECT_EQ(CANVAS_WIDTH - picture.lit_in_row(20, WHITE) > 10, shown) << timer;
        EXPECT_EQ(CANVAS_WIDTH - picture.lit_in_row(30, WHITE) > 20, shown) << timer;
    }
}
