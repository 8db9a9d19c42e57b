// The tiny font on the fixture archive, whose glyphs are white boxes from
// their second column to their last but one, over rows 2 to 6.
#include "render/font.h"
#include "render_support.h"

namespace {

class Font : public RenderTest {};

}  // namespace

TEST_F(Font, CentresByTheTruncatedHalfAdvanceOfTheGlyphsInTheFont) {
    struct Case {
        const char *text;
        int x;
        bool centred;
        int glyph_left;  // where the first glyph's first column lands
    } const cases[] = {
        {"$!", 20, true, 17},            // advance 7, offset truncated to 3
        {"A", 10, false, 10},            // not centred: the first column at x
        {"\x01" "A\x7f", 10, true, 8},  // only "A" and code 127 are measured: advance 5 + -1
    };
    for (const Case &c : cases) {
        clear_target(canvas);
        font_draw_text(c.text, c.x, 5, c.centred, 255);
        const Picture picture = read_target(canvas);
        // The box starts one column into the glyph, two rows down.
        int first = 0;
        while (first < CANVAS_WIDTH && picture.at(first, 7) == BLACK) ++first;
        EXPECT_EQ(first, c.glyph_left + 1) << c.text;
        EXPECT_EQ(picture.lit_in_row(6), 0) << c.text;
    }
}

TEST_F(Font, AdvancesByWidthLessOneAndSkipsBytesOutsideTheFont) {
    font_draw_text("\x02" "A\x80\xff" "B\n", 0, 0, false, 255);
    // "A" (6 wide) lights 1..4; "B" starts at 5 and lights 6..9.
    const Picture picture = read_target(canvas);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(picture.at(x, 2) == WHITE, (x >= 1 && x <= 4) || (x >= 6 && x <= 9)) << x;
    EXPECT_EQ(picture.lit(), 8 * 5);
}

TEST_F(Font, AlphaZeroDrawsNothingAndTheNextTextIsOpaqueAgain) {
    font_draw_text("A", 0, 0, false, 0);
    EXPECT_EQ(read_target(canvas).lit(), 0);
    font_draw_text("A", 0, 0, false, 128);
    EXPECT_NEAR(read_target(canvas).at(2, 2).r, 128, 1);
    font_draw_text("A", 20, 0, false, 255);
    EXPECT_EQ(read_target(canvas).at(22, 2), WHITE);
}
