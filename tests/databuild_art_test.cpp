// Pixel art as text: glyphs land where the font's width table puts them,
// grids at the positions the sheet layouts give, stamps and text where they
// are asked for; tile maps become pictures and few solid boxes.
#include "databuild_support.h"

#include "art.h"
#include "layouts.h"
#include "level.h"

#include <random>

namespace {

const Rgba RED{255, 0, 0, 255}, GREEN{0, 255, 0, 255}, BLUE{0, 0, 255, 255}, WHITE{255, 255, 255, 255},
    HALF{0, 0, 0, 128}, CLEAR{};

// Builds the picture from text with the palette "test"; messages in diag_text().
bool build_art(const TempDir &dir, const std::string &text, const std::string &picture, Art *out) {
    std::filesystem::create_directories(dir.path + "/palettes");
    write_file(dir.path + "/palettes/test.pal", "colour r ff0000\ncolour g 00ff00\ncolour b 0000ff\ncolour h 00000080\n");
    write_file(dir.file("test.art"), text);
    diag_reset();
    return art_build(dir.file("test.art"), picture, {dir.path, nullptr}, out);
}

bool is(const Image &image, int x, int y, Rgba want) {
    const Rgba p = image_get(image, x, y);
    return p.r == want.r && p.g == want.g && p.b == want.b && p.a == want.a;
}

TEST(FontLayout, GlyphsLandWhereTheWidthTableSays) {
    // '0' (6 wide, from x 90) and '1' (4 wide) side by side, split by '|'.
    TempDir dir;
    std::string rows;
    for (int y = 0; y < 10; ++y) rows += y == 3 ? "r....g|b..r\n" : "......|....\n";
    Art font;
    ASSERT_TRUE(build_art(dir, "palette test\nglyphs 01\n" + rows, "tinyfont", &font)) << diag_text();
    EXPECT_TRUE(font.image.width == 609 && font.image.height == 10);
    EXPECT_TRUE(is(font.image, 90, 3, RED) && is(font.image, 95, 3, GREEN));
    EXPECT_TRUE(is(font.image, 96, 3, CLEAR));  // the empty column between glyphs
    EXPECT_TRUE(is(font.image, 97, 3, BLUE) && is(font.image, 100, 3, RED));
}

TEST(FontLayout, TextIsPlacedAsTheGameDrawsIt) {
    // The fixture font's glyphs are white boxes from their second column to
    // their last but one, rows 2 to 6.
    Art font;
    ASSERT_TRUE(art_build(FIXTURES + "/images/tinyfont.art", "tinyfont", {FIXTURES, nullptr}, &font));
    Image canvas = image_make(64, 36);
    // "Loading..." advances 37 pixels: centred on 32 it starts at 14. 'L' is
    // 5 wide, so the box of 'o' starts at 19.
    art_draw_text(&canvas, font.image, "Loading...", 32, 14, true, 0, 0, 64, 36);
    EXPECT_TRUE(is(canvas, 14, 16, CLEAR) && is(canvas, 15, 16, WHITE) && is(canvas, 15, 15, CLEAR));
    EXPECT_TRUE(is(canvas, 18, 16, CLEAR) && is(canvas, 19, 16, WHITE));
    art_draw_text(&canvas, font.image, "A", 5, 0, false, 0, 0, 64, 36);
    EXPECT_TRUE(is(canvas, 5, 2, CLEAR) && is(canvas, 6, 2, WHITE));
}

TEST(SheetArt, FramesLandAtTheirSlotsOfTheLayout) {
    TempDir dir;
    const std::string grid = "r........\n.........\n.........\n.........\n........g\n";
    Art art;
    ASSERT_TRUE(build_art(dir, "palette test\nsprite doodad2\nframe 2\n" + grid + "\nframe\n" + grid +
                                   "\nsprite savepoint\nframe 0,2..3\nb...\n....\n....\n....\n", "doodads", &art))
        << diag_text();
    // doodad2 frames are 9 x 5 from (0, 20); a bare "frame" goes on with frame 3.
    EXPECT_TRUE(is(art.image, 18, 20, RED) && is(art.image, 26, 24, GREEN) && is(art.image, 27, 20, RED));
    EXPECT_TRUE(is(art.image, 0, 20, CLEAR));
    // Save points are 4 x 4 from (0, 68); a list places one grid in scattered frames.
    for (int f = 0; f < 4; ++f) EXPECT_TRUE(is(art.image, f * 4, 68, f == 1 ? CLEAR : BLUE)) << f;
}

TEST(FreeArt, StampsMoveAcrossFramesAndBlendInsideTheirFrame) {
    TempDir dir;
    Art art;
    ASSERT_TRUE(build_art(dir, "palette test\nstamp dot\nrr\n\nfill h 0 0 64 36 on 0..2\nput dot 10 5 on 0..2 move 2 1\n",
                          "cutscene3", &art)) << diag_text();
    EXPECT_EQ(art.frames_used, 3);
    for (int f = 0; f < 3; ++f) {
        const int x = f * 64 + 10 + 2 * f;
        EXPECT_TRUE(is(art.image, x, 5 + f, RED) && is(art.image, x - 1, 5 + f, HALF)) << f;
    }
    ASSERT_TRUE(build_art(dir, "palette test\nstamp bar\nhhhh\n\nput bar 62 0 on 0\nfill g 0 0 1 1 on 1\n", "cutscene4", &art));
    EXPECT_TRUE(is(art.image, 63, 0, HALF) && is(art.image, 65, 0, CLEAR));
}

TEST(ArtErrors, EachMistakeIsNamedOnItsLine) {
    const char *const cases[][3] = {
        {"palette test\nsprite jump_puff\nframe\nrq.\n...\n...\n", "effects", "test.art:4: 'q' is not in the palette (column 2)"},
        {"palette test\nsprite jump_puff\nframe\nr..\n..\n...\n", "effects", "test.art:5: this row is 2 pixels wide, the first row 3"},
        {"palette test\nsprite jump_puff\nframe\nrrrr\n....\n....\n", "effects", "test.art:3: the frame is 4 x 3 pixels; it must be 3 x 3"},
        {"palette test\nsprite jump_puff\nframe 7\nr..\n...\n...\n", "effects", "test.art:3: frame 7 lies outside the sheet: jump_puff has 7 frames"},
        {"palette test\nsprite puff\n", "effects", "test.art:2: the sheet effects has no sprite \"puff\""},
        {"palette test\nframe\nr..\n", "effects", "test.art:2: choose a sprite of the sheet first"},
        {"palette test\nglyphs A\n......\n", "tinyfont", "test.art:2: a glyph grid has 10 rows, not 1"},
        {"glyphs A\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n", "tinyfont",
         "test.art:2: glyph 'A' is 6 pixels wide; this row gives it 5"},
        {"palette test\nsize 4 4\nat 2 2\nrrr\n", "level5", "test.art:3: the grid lies outside the sheet (4 x 4)"},
        {"at 0 0\nr\n", "level5", "test.art:1: give the picture a size first"},
        {"size 4 4\nput star 0 0\n", "level5", "test.art:2: there is no stamp \"star\" above this line"},
        {"size 4 4\nfil r 0 0 1 1\n", "level5", "directly); did you mean \"fill\"?"},
        {"size 4 4\ntext \"Hi\" 0 0\n", "level5", "test.art:2: text needs the tiny font"},
        {"size 4 4\nimport ../outside.png 0 0\n", "level5", "test.art:2: an imported picture lies beside the art file or below it"},
    };
    TempDir dir;
    for (const auto &c : cases) {
        Art art;
        EXPECT_FALSE(build_art(dir, c[0], c[1], &art)) << c[0];
        EXPECT_TRUE(holds(diag_text(), c[2])) << c[0];
    }
}

TEST(ArtErrors, HugeNumbersAreRefusedOrClippedQuickly) {
    TempDir dir;
    for (const char *source : {"framesize 4096 4096 1\nframe 999999999\nr\n", "framesize 4 4\nat 999999999 0\nr\n",
                               "size 8 8\nfill r -999999999 -999999999 999999999 999999999\n",
                               "stamp s\nr\n\nframesize 4 4\nput s 999999999 999999999 on 0..3 move 1e300 -1e300\n",
                               "framesize 4 4\nfill r 0 0 999999999 999999999 on 0..4096\n"}) {
        Art art;
        build_art(dir, std::string("palette test\n") + source, "level6-fg", &art);
        EXPECT_TRUE(art.image.width <= 4096 && art.image.height <= 4096) << source;
    }
}

// Every set cell is covered by exactly one box and no box covers a clear one.
void expect_exact_cover(const std::vector<bool> &mask, int width, int height, const std::vector<Box> &boxes) {
    std::vector<int> cover(mask.size(), 0);
    for (const Box &box : boxes) {
        ASSERT_TRUE(box.x >= 0 && box.y >= 0 && box.x + box.w <= width && box.y + box.h <= height);
        for (int y = box.y; y < box.y + box.h; ++y) {
            for (int x = box.x; x < box.x + box.w; ++x) ++cover[static_cast<size_t>(y) * width + x];
        }
    }
    for (size_t i = 0; i < mask.size(); ++i) ASSERT_EQ(cover[i], mask[i] ? 1 : 0) << "cell " << i;
}

TEST(SolidBoxes, CoverTheSolidCellsExactly) {
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        const int width = 1 + static_cast<int>(random() % 40), height = 1 + static_cast<int>(random() % 30);
        std::vector<bool> mask(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < mask.size(); ++i) mask[i] = random() % 3 != 0;
        expect_exact_cover(mask, width, height, boxes_merge(mask, width, height));
    }
}

TEST(TileMaps, DrawTheirTilesAndMakeFewBoxesOfTheSolidParts) {
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/tiles");
    write_file(dir.path + "/tiles/t.art",
               "colour r ff0000\ncolour g 00ff00\ntilesize 2\n\ntile # solid\nrr\nrr\n\ntile = solid 0 0 2 1\ngg\n..\n");
    write_file(dir.file("level1.map"), "tileset t\nmap\n#..#\n#==#\n####\n");
    TileMap map;
    diag_reset();
    ASSERT_TRUE(map_build(dir.file("level1.map"), {dir.path, nullptr}, &map)) << diag_text();
    EXPECT_TRUE(map.picture.width == 8 && map.picture.height == 6);
    EXPECT_TRUE(is(map.picture, 0, 0, RED) && is(map.picture, 2, 2, GREEN) && is(map.picture, 2, 3, CLEAR));
    // Two walls, a floor and the half-height bridge between the walls.
    std::vector<bool> solid(8 * 6);
    for (int i = 0; i < 48; ++i) solid[i] = i % 8 < 2 || i % 8 >= 6 || i / 8 >= 4 || i / 8 == 2;
    expect_exact_cover(solid, 8, 6, map.boxes);
    EXPECT_LE(map.boxes.size(), 4u);
}

}  // namespace
