// The tiny font on the fixture archive, whose glyphs are white boxes from
// their second column to their last but one, over rows 2 to 6.
#include "render/font.h"
#include "render_support.h"

namespace {

class Font : public RenderTest {};

}  // namespace

TEST_F(Font, CentresByTheTruncatedHalfAdvanceAndSkipsBytesOutsideTheFont) {
    // "A" is 6 wide and "!" 3: an advance of 5 + 2 and an offset of 3, so
    // the boxes light columns 1..4 of "A" and column 6 of "!".
    font_draw_text("\x02" "A\x80\xff" "!\n", 3, 5, true, 255);
    const Picture picture = read_target(canvas);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(picture.at(x, 7) == WHITE, (x >= 1 && x <= 4) || x == 6) << x;
    EXPECT_EQ(picture.lit(), 5 * 5);
}
