// The tiny font on the fixture archive, whose glyphs are white boxes from
// their second column to their last but one, over rows 2 to 6.
#include "render/font.h"
#include "render_support.h"

namespace {

class Font : public RenderTest {};

// The first column of the canvas with a lit pixel in the row, or -1.
int first_lit_column(const Picture &picture, int y) {
    for (int x = 0; x < picture.width; ++x) {
        if (picture.at(x, y) != BLACK) return x;
    }
    return -1;
}

}  // namespace

TEST_F(Font, PlacesTheFirstGlyphByTheCentringOffset) {
    struct Case {
        const char *text;
        int x;
        bool centred;
        int glyph_left;  // where the first glyph's first column lands
    };
    const Case cases[] = {
        {"Loading...", 32, true, 14},  // advance 37, offset 18
        {"$!", 20, true, 17},          // advance 7, offset truncated to 3
        {"A", 10, false, 10},          // not centred: the first column at x
        {"\x01" "A\x7f", 10, true, 8},  // only "A" and code 127 are measured: advance 5 + -1
    };
    for (const Case &c : cases) {
        clear_target(canvas);
        font_draw_text(c.text, c.x, 5, c.centred, 255);
        const Picture picture = read_target(canvas);
        // The box starts one column into the glyph, two rows down.
        EXPECT_EQ(first_lit_column(picture, 7), c.glyph_left + 1) << c.text;
        EXPECT_EQ(picture.lit_in_row(6), 0) << c.text;
    }
}

TEST_F(Font, AdvancesByWidthLessOneAndSkipsBytesOutsideTheFont) {
    font_draw_text("AB", 0, 0, false, 255);
    const Picture plain = read_target(canvas);
    clear_target(canvas);
    font_draw_text("\x02" "A\x80\xff" "B\n", 0, 0, false, 255);
    const Picture with_strays = read_target(canvas);
    EXPECT_EQ(with_strays.bytes, plain.bytes);
    // "A" (6 wide) lights 1..4; "B" starts at 5 and lights 6..9.
    for (int x = 0; x < 12; ++x) EXPECT_EQ(plain.at(x, 2) == WHITE, (x >= 1 && x <= 4) || (x >= 6 && x <= 9)) << x;
}

TEST_F(Font, AlphaZeroDrawsNothingAndTheNextTextIsOpaqueAgain) {
    font_draw_text("A", 0, 0, false, 0);
    EXPECT_EQ(read_target(canvas).lit(), 0);
    font_draw_text("A", 0, 0, false, 128);
    const Rgba half = read_target(canvas).at(2, 2);
    EXPECT_NEAR(half.r, 128, 1);
    font_draw_text("A", 20, 0, false, 255);
    EXPECT_EQ(read_target(canvas).at(22, 2), WHITE);
}
