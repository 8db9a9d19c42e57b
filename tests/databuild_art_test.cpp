// Pixel art as text: grids land at the positions the sheet layouts give,
// glyphs where the font's width table puts them, stamps and text where they
// are asked for; tile maps become pictures and few solid boxes.
#include "databuild_support.h"

#include "art.h"
#include "layouts.h"
#include "level.h"

#include <random>

namespace {

struct ArtBuild {
    bool ok = false;
    Art art;
    std::string messages;
};

ArtBuild build_art(const TempDir &dir, const std::string &text, const std::string &picture, const Image *font = nullptr) {
    std::filesystem::create_directories(dir.path + "/palettes");
    write_file(dir.path + "/palettes/test.pal", "colour r ff0000\ncolour g 00ff00\ncolour b 0000ff\ncolour h 00000080\n");
    write_file(dir.file("test.art"), text);
    diag_reset();
    ArtBuild result;
    ArtContext context;
    context.content_dir = dir.path;
    context.font = font;
    result.ok = art_build(dir.file("test.art"), picture, context, &result.art);
    for (const std::string &m : diagnostics.messages) result.messages += m + "\n";
    return result;
}

bool is(const Image &image, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const Rgba p = image_get(image, x, y);
    return p.r == r && p.g == g && p.b == b && p.a == a;
}

TEST(FontLayout, GlyphsStartWhereTheWidthTableSaysTheyDo) {
    struct Case {
        int code, left_x, width;
    };
    const Case cases[] = {{' ', 0, 3}, {'!', 4, 3}, {'0', 90, 6}, {'A', 201, 6}, {'a', 413, 6}, {127, 608, 0}, {'@', 191, 9}};
    for (const Case &c : cases) {
        EXPECT_EQ(font_left_x(c.code), c.left_x) << c.code;
        EXPECT_EQ(font_width(c.code), c.width) << c.code;
    }
}

TEST(FontLayout, GlyphGridsLandAtTheirLeftColumns) {
    TempDir dir;
    // '0' (6 wide), '1' (4 wide): cells side by side, split by '|'.
    std::string rows;
    for (int y = 0; y < 10; ++y) rows += y == 3 ? "r....g|b..r\n" : "......|....\n";
    const ArtBuild built = build_art(dir, "palette test\nglyphs 01\n" + rows, "tinyfont");
    ASSERT_TRUE(built.ok) << built.messages;
    const Image &font = built.art.image;
    EXPECT_EQ(font.width, 609);
    EXPECT_EQ(font.height, 10);
    EXPECT_TRUE(is(font, 90, 3, 255, 0, 0, 255));
    EXPECT_TRUE(is(font, 95, 3, 0, 255, 0, 255));
    EXPECT_TRUE(is(font, 97, 3, 0, 0, 255, 255));  // '1' starts at 90 + 6 + 1
    EXPECT_TRUE(is(font, 100, 3, 255, 0, 0, 255));
    EXPECT_TRUE(is(font, 96, 3, 0, 0, 0, 0));     // the empty column between glyphs
}

TEST(FontLayout, TextIsPlacedAsTheGameDrawsIt) {
    // The fixture font's glyphs are white boxes from their second column to
    // their last but one, rows 2 to 6.
    Art font;
    ASSERT_TRUE(art_build(std::string(NUMBRAL_FIXTURE_DIR) + "/images/tinyfont.art", "tinyfont", {NUMBRAL_FIXTURE_DIR, nullptr}, &font));
    Image canvas = image_make(64, 36);
    // "Loading..." advances 37 pixels: centred on 32 it starts at 14.
    art_draw_text(&canvas, font.image, "Loading...", 32, 14, true, 0, 0, 64, 36);
    EXPECT_TRUE(is(canvas, 14, 16, 0, 0, 0, 0));
    EXPECT_TRUE(is(canvas, 15, 16, 255, 255, 255, 255));
    EXPECT_TRUE(is(canvas, 15, 15, 0, 0, 0, 0));
    // 'L' is 5 wide: 'o' starts 4 further on, and its box one column later.
    EXPECT_TRUE(is(canvas, 19, 16, 255, 255, 255, 255));
    EXPECT_TRUE(is(canvas, 18, 16, 0, 0, 0, 0));

    Image left = image_make(64, 36);
    art_draw_text(&left, font.image, "A", 5, 0, false, 0, 0, 64, 36);
    EXPECT_TRUE(is(left, 6, 2, 255, 255, 255, 255));
    EXPECT_TRUE(is(left, 5, 2, 0, 0, 0, 0));
}

TEST(SheetArt, FramesLandAtTheirSlotsOfTheLayout) {
    TempDir dir;
    const std::string grid = "r........\n.........\n.........\n.........\n........g\n";
    const ArtBuild built = build_art(dir, "palette test\nsprite doodad2\nframe 2\n" + grid + "\nframe\n" + grid +
                                              "\nsprite savepoint_lit\nframe 0..6\nbbbb\nb..b\nb..b\nbbbb\n", "doodads");
    ASSERT_TRUE(built.ok) << built.messages;
    const Image &sheet = built.art.image;
    EXPECT_EQ(sheet.width, 66);
    EXPECT_EQ(sheet.height, 102);
    // doodad2 frames are 9 x 5 from (0, 20).
    EXPECT_TRUE(is(sheet, 18, 20, 255, 0, 0, 255));
    EXPECT_TRUE(is(sheet, 26, 24, 0, 255, 0, 255));
    EXPECT_TRUE(is(sheet, 27, 20, 255, 0, 0, 255));  // "frame" continues with frame 3
    EXPECT_TRUE(is(sheet, 0, 20, 0, 0, 0, 0));
    // Lit save points: seven frames of 4 x 4 from (0, 64).
    for (int f = 0; f < 7; ++f) {
        EXPECT_TRUE(is(sheet, f * 4, 64, 0, 0, 255, 255)) << f;
        EXPECT_TRUE(is(sheet, f * 4 + 1, 65, 0, 0, 0, 0)) << f;
    }
    EXPECT_TRUE(is(sheet, 28, 64, 0, 0, 0, 0));

    // A list places one grid in scattered frames.
    const ArtBuild listed = build_art(dir, "palette test\nsprite savepoint\nframe 0,2..3\nr...\n....\n....\n....\n", "doodads");
    ASSERT_TRUE(listed.ok) << listed.messages;
    for (int f = 0; f < 4; ++f) EXPECT_EQ(image_get(listed.art.image, f * 4, 68).a, f == 1 ? 0 : 255) << f;
}

TEST(SheetArt, OutlinesStayInsideTheirFrame) {
    TempDir dir;
    const ArtBuild built = build_art(dir, "palette test\noutline 0000ff\nsprite jump_puff\nframe\nr..\n...\n...\n", "effects");
    ASSERT_TRUE(built.ok) << built.messages;
    const Image &sheet = built.art.image;
    EXPECT_TRUE(is(sheet, 0, 0, 255, 0, 0, 255));
    EXPECT_TRUE(is(sheet, 1, 0, 0, 0, 255, 255));
    EXPECT_TRUE(is(sheet, 1, 1, 0, 0, 255, 255));
    EXPECT_TRUE(is(sheet, 0, 1, 0, 0, 255, 255));
    EXPECT_TRUE(is(sheet, 2, 0, 0, 0, 0, 0));
    EXPECT_TRUE(is(sheet, 3, 0, 0, 0, 0, 0));  // the next frame is untouched
}

TEST(FreeArt, StampsMoveAcrossCutsceneFramesAndTextIsWritten) {
    TempDir dir;
    const ArtBuild built = build_art(dir, "palette test\nstamp dot\nrr\n\nfill h 0 0 64 36 on 0..2\nput dot 10 5 on 0..2 move 2 1\n", "cutscene3");
    ASSERT_TRUE(built.ok) << built.messages;
    const Image &strip = built.art.image;
    EXPECT_EQ(strip.width, 3 * 64);
    EXPECT_EQ(strip.height, 36);
    EXPECT_EQ(built.art.frames_used, 3);
    for (int f = 0; f < 3; ++f) {
        EXPECT_TRUE(is(strip, f * 64 + 10 + 2 * f, 5 + f, 255, 0, 0, 255)) << f;
        EXPECT_TRUE(is(strip, f * 64 + 9 + 2 * f, 5 + f, 0, 0, 0, 128)) << f;
    }
    // Stamps blend over what is there and are clipped to their frame.
    const ArtBuild clipped = build_art(dir, "palette test\nstamp bar\nhhhh\n\nput bar 62 0 on 0\nfill g 0 0 1 1 on 1\n", "cutscene4");
    ASSERT_TRUE(clipped.ok) << clipped.messages;
    EXPECT_TRUE(is(clipped.art.image, 63, 0, 0, 0, 0, 128));
    EXPECT_TRUE(is(clipped.art.image, 65, 0, 0, 0, 0, 0));
}

TEST(FreeArt, AnImportedPngKeepsEveryPixel) {
    TempDir dir;
    std::mt19937 random(7);
    std::vector<uint8_t> pixels(5 * 3 * 4);
    for (uint8_t &p : pixels) p = static_cast<uint8_t>(random());
    const std::vector<uint8_t> png = dataio_encode_png(pixels.data(), 5, 3);
    write_file(dir.file("drawn.png"), std::string(png.begin(), png.end()));
    const ArtBuild built = build_art(dir, "size 8 8\nimport drawn.png 2 4\n", "level7-fg");
    ASSERT_TRUE(built.ok) << built.messages;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const uint8_t *p = &pixels[(y * 5 + x) * 4];
            EXPECT_TRUE(is(built.art.image, 2 + x, 4 + y, p[0], p[1], p[2], p[3])) << x << "," << y;
        }
    }
}

TEST(ArtErrors, EachMistakeIsNamedOnItsLine) {
    struct Case {
        const char *text, *picture, *message;
    };
    const Case cases[] = {
        {"palette test\nsprite jump_puff\nframe\nrq.\n...\n...\n", "effects", "test.art:4: 'q' is not in the palette (column 2)"},
        {"palette test\nsprite jump_puff\nframe\nr..\n..\n...\n", "effects", "test.art:5: this row is 2 pixels wide, the first row 3"},
        {"palette test\nsprite jump_puff\nframe 7\nr..\n...\n...\n", "effects", "test.art:3: frame 7 lies outside the sheet: jump_puff has 7 frames"},
        {"palette test\nsprite puff\n", "effects", "test.art:2: the sheet effects has no sprite \"puff\""},
        {"palette test\nframe\nr..\n", "effects", "test.art:2: choose a sprite of the sheet first"},
        {"palette test\nsprite jump_puff\nframe\n\n", "effects", "test.art:3: a grid of pixels must follow this line"},
        {"palette test\nglyphs A\n......\n", "tinyfont", "test.art:2: a glyph grid has 10 rows, not 1"},
        {"glyphs A\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n.....\n", "tinyfont",
         "test.art:2: glyph 'A' is 6 pixels wide; this row gives it 5"},
        {"palette test\nsize 4 4\nat 2 2\nrrr\n", "level5", "test.art:3: the grid lies outside the sheet (4 x 4)"},
        {"at 0 0\nr\n", "level5", "test.art:1: give the picture a size first"},
        {"size 4 4\nput star 0 0\n", "level5", "test.art:2: there is no stamp \"star\" above this line"},
        {"colour r red\n", "level5", "test.art:1: write a colour as: colour C RRGGBB"},
        {"size 4 4\nsize 4 4\n", "level5", "test.art:2: the size is given once"},
        {"size 4 4\nframes 4 4\n", "level5", "test.art:2: unknown line \"frames\""},
        {"size 4 4\ntext \"Hi\" 0 0\n", "level5", "test.art:2: text needs the tiny font"},
        {"size 4 4\nimport ../outside.png 0 0\n", "level5", "test.art:2: an imported picture lies beside the art file or below it"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        const ArtBuild built = build_art(dir, c.text, c.picture);
        EXPECT_FALSE(built.ok) << c.text;
        EXPECT_NE(built.messages.find(c.message), std::string::npos) << c.text << "\n" << built.messages;
    }
}

TEST(ArtErrors, HugeNumbersAreRefusedOrClippedQuickly) {
    const char *const sources[] = {
        "palette test\nframesize 4096 4096 1\nframe 999999999\nr\n",
        "palette test\nframesize 4 4\nat 999999999 0\nr\n",
        "palette test\nsize 8 8\nfill r -999999999 -999999999 999999999 999999999\n",
        "palette test\nstamp s\nr\n\nframesize 4 4\nput s 999999999 999999999 on 0..3 move 1e300 -1e300\n",
        "palette test\nframesize 4 4\nfill r 0 0 999999999 999999999 on 0..4096\n",
    };
    TempDir dir;
    for (const char *source : sources) {
        const ArtBuild built = build_art(dir, source, "level6-fg");
        EXPECT_LE(built.art.image.width, 4096) << source;
        EXPECT_LE(built.art.image.height, 4096) << source;
    }
}

// Every set cell is covered by exactly one box and no box covers a clear one.
void expect_exact_cover(const std::vector<bool> &mask, int width, int height, const std::vector<Box> &boxes) {
    std::vector<int> cover(mask.size(), 0);
    for (const Box &box : boxes) {
        ASSERT_GE(box.x, 0);
        ASSERT_GE(box.y, 0);
        ASSERT_LE(box.x + box.w, width);
        ASSERT_LE(box.y + box.h, height);
        for (int y = box.y; y < box.y + box.h; ++y) {
            for (int x = box.x; x < box.x + box.w; ++x) ++cover[static_cast<size_t>(y) * width + x];
        }
    }
    for (size_t i = 0; i < mask.size(); ++i) ASSERT_EQ(cover[i], mask[i] ? 1 : 0) << "cell " << i;
}

TEST(SolidBoxes, CoverTheSolidCellsExactlyWithFewRectangles) {
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        const int width = 1 + static_cast<int>(random() % 40), height = 1 + static_cast<int>(random() % 30);
        std::vector<bool> mask(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < mask.size(); ++i) mask[i] = random() % 3 != 0;
        expect_exact_cover(mask, width, height, boxes_merge(mask, width, height));
    }
    // A floor, a wall and a pillar: three boxes, whatever the scan order.
    const int width = 20, height = 10;
    std::vector<bool> shape(width * height);
    for (int x = 0; x < width; ++x) shape[9 * width + x] = shape[8 * width + x] = true;
    for (int y = 0; y < 8; ++y) shape[y * width] = true;
    for (int y = 4; y < 8; ++y) shape[y * width + 10] = true;
    const std::vector<Box> boxes = boxes_merge(shape, width, height);
    expect_exact_cover(shape, width, height, boxes);
    EXPECT_EQ(boxes.size(), 3u);
}

TEST(TileMaps, DrawTheirTilesAndMakeBoxesOfTheSolidParts) {
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/tiles");
    write_file(dir.path + "/tiles/t.art",
               "colour r ff0000\ncolour g 00ff00\ntilesize 2\n\ntile # solid\nrr\nrr\n\ntile = solid 0 0 2 1\ngg\n..\n");
    write_file(dir.file("level1.map"), "tileset t\nmap\n#..#\n#==#\n####\n");
    TileMap map;
    diag_reset();
    ArtContext context;
    context.content_dir = dir.path;
    ASSERT_TRUE(map_build(dir.file("level1.map"), context, &map));
    EXPECT_EQ(map.picture.width, 8);
    EXPECT_EQ(map.picture.height, 6);
    EXPECT_TRUE(is(map.picture, 0, 0, 255, 0, 0, 255));
    EXPECT_TRUE(is(map.picture, 2, 2, 0, 255, 0, 255));
    EXPECT_TRUE(is(map.picture, 2, 3, 0, 0, 0, 0));
    std::vector<bool> solid(8 * 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) solid[y * 8 + x] = x < 2 || x >= 6 || y >= 4 || y == 2;
    }
    expect_exact_cover(solid, 8, 6, map.boxes);
    EXPECT_LE(map.boxes.size(), 4u);
}

}  // namespace
