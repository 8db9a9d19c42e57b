// Every rule of the data builder rejects a source that breaks it, with a
// message "file:line: what is wrong", and the command then writes nothing.
#include "databuild_support.h"

#include <stb_image.h>

#include <algorithm>

namespace {

// One edit of a source: `from` in `file` becomes `to`; without `from`, `to`
// is appended `times` times; without either the file is removed. The build
// then fails with `message`, or succeeds when there is none.
struct Edit {
    const char *file, *from, *to;
    int times;
    const char *message;
};

constexpr const char *L3 = "levels/level3.txt", *L4 = "levels/level4.txt", *C2 = "cutscenes/cutscene2.txt";

const Edit EDITS[] = {
    // Each table and the line count is allowed up to its limit (the doodads'
    // and pickups' stand for the shared check), and no further.
    {L4, nullptr, "doodad:6:10:10\n", 95, nullptr},
    {L4, nullptr, "doodad:6:10:10\n", 96, "levels/level4.txt: holds 101 doodads"},
    {L4, nullptr, "enemy:0:10:10\n", 20, "levels/level4.txt: holds 21 enemies; the game has room for 20"},
    {L4, nullptr, "trigger:quit:0:0:1:1\n", 9, "levels/level4.txt: holds 11 triggers; the game has room for 10"},
    {L4, nullptr, "savepoint:2:10:10\n", 6, "levels/level4.txt: holds 7 save points; the game has room for 6"},
    {L4, nullptr, "pickup:0:10:10\n", 4, nullptr},  // with the ability pickup, 5
    {L4, nullptr, "pickup:0:10:10\n", 5, "levels/level4.txt: holds 6 pickups; the game has room for 5"},
    {L4, nullptr, "flashlight\n", 181, nullptr},
    {L4, nullptr, "flashlight\n", 190, "levels/level4.txt: comes to 209 lines; the game reads at most 200"},
    {L3, nullptr, "cameralocked\n", 180, "levels/level3.txt: comes to 206 lines with its map's boxes"},
    {L4, "title:Fixture Four", "title:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", 1, nullptr},  // 50 letters
    {L4, nullptr, "title:A title that goes on and on well beyond fifty letters\n", 1, "at most 50 fit"},
    {L4, "music:2", "music:-1", 1, nullptr},
    {L4, nullptr, "music:3\n", 1, "music is -1 (silence), 0, 1 or 2, not 3"},
    // Missing and unknown files.
    {"images/level4.art", nullptr, nullptr, 1, "levels/level4.txt: has no level picture img/level4.png"},
    {"images/level3-rear.art", nullptr, nullptr, 1, "level3.txt:6: sets a layer whose picture img/level3-rear.png is missing"},
    {L3, "RearBGwidth:96", "RearBGwidth:200", 1, "level3.txt:6: the layer needs a picture of at least 200 x 36 pixels"},
    {"images/cutscene2.art", nullptr, nullptr, 1, "cutscenes/cutscene2.txt: has no picture img/cutscene2.png"},
    {C2, "frames:1", "frames:3", 1, "cutscene2.txt:2: 3 frames need a picture of at least 192 x 36 pixels"},
    {L3, "trigger:level:4:0", "trigger:level:9:0", 1, "levels/level3.txt:16: there is no level 9"},
    {L3, nullptr, "trigger:cutscene:7:0:0:4:4\n", 1, "levels/level3.txt:17: there is no cutscene 7"},
    {"cutscenes/cutscene1.txt", "target:level:0:0", "target:level:8:0", 1, "cutscene1.txt:4: there is no level 8"},
    {C2, nullptr, "target:cutscene:9\n", 1, "cutscenes/cutscene2.txt:5: there is no cutscene 9"},
    {C2, nullptr, nullptr, 1, "level0.txt:6: without a saved game this trigger plays cutscene 2, and there is none"},
    {"cutscenes/cutscene5.txt", nullptr, nullptr, 1, "level4.txt:17: the ability pickup plays cutscene 5, and there is none"},
    {"sounds/jump0.snd", nullptr, nullptr, 1, "sounds: the sound snd/jump0.ogg is missing"},
    {"sounds/jump1.snd", nullptr, "voice sine\n", 1, "sounds/jump1.snd: is not one of the game's 22 sounds"},
    {"images/hud.art", nullptr, "size 1 1\n", 1, "images/hud.art: is not a picture the game loads"},
    // The fields of a line.
    {L4, nullptr, "trigger:createdoodad:1:2:3:4:5:6:7:8:9\n", 1, "this line has more than 10 fields"},
    {L4, nullptr, "doodad:12:1:1\n", 1, "doodad types run from -1 to 9, not 12"},
    {L4, nullptr, "doodad:-1:1:1:4\n", 1, "an invisible box is written doodad:-1:x:y:w:h"},
    {L4, nullptr, "doodad:3:1:1:lift:4:4\n", 1, "after doodad:type:x:y only :elevator:dest_x:dest_y may follow"},
    {L4, nullptr, "enemy:4:1:1\n", 1, "enemies are of kind 0 to 3, not 4"},
    {L4, nullptr, "pickup:2:1:1\n", 1, "pickups are of kind 0 (health) or 1 (the stomp ability), not 2"},
    {L4, nullptr, "entrance:two:1:1\n", 1, "the entrance number must be a whole number, not \"two\""},
    {L4, nullptr, "trigger:cutscene:3:0:0:8\n", 1, "\"trigger\" needs 7 fields"},
    {L4, nullptr, "trigger:movecamera:10:0:0:0:4:4:9\n", 1, "takes at most 8 fields"},
    {L4, nullptr, "trigger:level:5:1:0:0:8:36:continue\n", 1, "the ninth field of a level trigger is \"loadgame\" or \"newgame\""},
    {L4, nullptr, "BGfps:0\n", 1, "\"BGfps\" must be 1 or more"},
    // Misspelt words are answered with the nearest known one.
    {L4, nullptr, "BGwidht:96\n", 1, "level4.txt:21: unknown key \"BGwidht\"; did you mean \"BGwidth\"?"},
    {C2, nullptr, "frame:3\n", 1, "cutscene2.txt:5: unknown key \"frame\" (frames, fps, sound_overlay, target); did you mean \"frames\"?"},
    // Positions outside the level (96 x 48) are refused on their line.
    {L4, nullptr, "enemy:2:96:10\n", 1, "level4.txt:21: the enemy at (96, 10) lies wholly outside the level, which is 96 x 48"},
    {L4, nullptr, "entrance:1:40:48\n", 1, "level4.txt:21: entrance 1 at (40, 48) lies outside the level"},
    {L4, nullptr, "savepoint:2:93:20\n", 1, "level4.txt:21: save point 2 at (93, 20) lies outside the level"},
    {L4, nullptr, "pickup:0:-1:20\n", 1, "level4.txt:21: the pickup at (-1, 20) lies wholly outside the level"},
    {L4, nullptr, "doodad:0:10:10:elevator:10:-3\n", 1, "level4.txt:21: the elevator's destination at (10, -3) lies wholly outside"},
};

TEST(BuilderRules, EachRejectsASourceThatBreaksItWithItsMessageAndAllowsItsLimit) {
    for (const Edit &edit : EDITS) {
        SCOPED_TRACE(std::string(edit.to ? edit.to : edit.file) + " x " + std::to_string(edit.times));
        ContentCopy copy;
        const std::string path = copy.path(edit.file);
        std::string text = read_file(path);
        if (edit.from) {
            ASSERT_NE(text.find(edit.from), std::string::npos) << edit.file << " holds no " << edit.from;
            write_file(path, text.replace(text.find(edit.from), std::string(edit.from).size(), edit.to));
        } else if (edit.to) {
            for (int i = 0; i < edit.times; ++i) text += edit.to;
            write_file(path, text);
        } else {
            ASSERT_TRUE(std::filesystem::remove(path));
        }
        const BuildOutcome outcome = build_content(copy.root);
        EXPECT_EQ(outcome.ok, edit.message == nullptr) << outcome.messages;
        EXPECT_TRUE(holds(outcome.messages, edit.message ? edit.message : ""));
    }
}

TEST(BuilderRules, AReadyMadeSoundMustPlayAt44000FramesASecond) {
    ContentCopy copy;
    const std::vector<int16_t> silence(2205);
    const std::vector<uint8_t> ogg = dataio_encode_ogg(silence.data(), static_cast<int>(silence.size()), 1, 22050, 0.3f);
    std::filesystem::remove(copy.path("sounds/jump0.snd"));
    write_file(copy.path("sounds/jump0.ogg"), std::string(ogg.begin(), ogg.end()));
    const BuildOutcome outcome = build_content(copy.root);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(holds(outcome.messages, "sounds/jump0.ogg: plays at 22050 frames per second"));
}

// Editor leftovers beside the sources are not read, however broken.
TEST(BuilderFolders, EditorLeftoversAreNotRead) {
    ContentCopy copy;
    for (const char *leftover : {"levels/level5.txt~", "levels/.#level3.txt", "levels/level3.txt.bak",
                                 "images/.doodads.art.swp", "sounds/jump0.snd~", "cutscenes/cutscene9.txt.bak"}) {
        write_file(copy.path(leftover), "garbage:\n");
    }
    const BuildOutcome outcome = build_content(copy.root);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.messages, "");
}

// An unknown tile letter, however often it stands in the map, is one message
// on its first row, and the level's missing picture is not blamed as well.
TEST(BuilderFolders, AnUnknownTileLetterIsOneError) {
    ContentCopy copy;
    const std::string map = copy.path("levels/level3.map");
    std::string broken = read_file(map);
    broken.replace(broken.find("#.............................."), 4, "#ZZ.");
    broken.replace(broken.rfind("#.........##"), 2, "#Z");
    write_file(map, broken);
    const BuildOutcome outcome = build_content(copy.root);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(holds(outcome.messages, map + ":6: the tileset \"fixture\" has no tile 'Z' (column 2, and 2 more cells)"));
    EXPECT_EQ(std::count(outcome.messages.begin(), outcome.messages.end(), '\n'), 1) << outcome.messages;
}

// Letters of a tile map place things standing on the bottom of their cell,
// at its left, and the lines they make are checked like written ones, on
// the map's place line.
TEST(BuilderFolders, MapLettersPlaceThingsOnTheGroundOfTheirCell) {
    ContentCopy copy;
    const std::string map = copy.path("levels/level3.map");
    std::string placed = read_file(map);
    placed.replace(placed.rfind("#.........##"), 9, "#.S..E..L");  // row 6: cells 24..27 px high, floor below
    size_t row3 = placed.find("\n#.");  // row 1 of the map, then rows 2 and 3: where the lift goes
    for (int row = 1; row < 3; ++row) row3 = placed.find("\n#.", row3 + 1);
    placed.replace(row3 + 1, 9, "#.......l");
    write_file(map, placed + "place S savepoint:3\nplace E enemy:2 move 1 0\nplace L doodad:0 to l\n");
    BuildOutcome outcome = build_content(copy.root);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    for (const char *line : {"\nsavepoint:3:8:24\n", "\nenemy:2:21:22\n", "\ndoodad:0:32:26:elevator:32:14\n"}) {
        EXPECT_TRUE(holds(outcome.text("data/level3.txt"), line));
    }
    write_file(map, placed + "place S savepoint:3\nplace E enemy:2 move 0 -40\nplace L doodad:0 to l\n");
    outcome = build_content(copy.root);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(holds(outcome.messages, "level3.map:15: the enemy at (20, -18) lies wholly outside the level"));
}

// A picture drawn in an editor is imported from beside the art file or a
// folder below it; under a sprite it lands in that sprite's frames.
TEST(BuilderFolders, ImportedPicturesLandInTheirSpriteAndAreNoPicturesOfTheirOwn) {
    ContentCopy copy;
    const uint8_t red[2 * 2 * 4] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    const uint8_t green[4] = {0, 255, 0, 255};
    const std::vector<uint8_t> two = dataio_encode_png(red, 2, 2), one = dataio_encode_png(green, 1, 1);
    std::filesystem::create_directories(copy.path("images/src"));
    write_file(copy.path("images/src/mark.png"), std::string(two.begin(), two.end()));
    write_file(copy.path("images/dot.png"), std::string(one.begin(), one.end()));
    const std::string art = copy.path("images/doodads.art"), text = read_file(art);
    write_file(art, text + "\nsprite doodad6\nimport src/mark.png 1 1\nsprite doodad9\nimport dot.png 11 5\n");
    BuildOutcome outcome = build_content(copy.root);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    for (const ArchiveEntry &entry : outcome.entries) {
        EXPECT_TRUE(entry.path.find("mark") == std::string::npos && entry.path.find("dot") == std::string::npos) << entry.path;
    }
    const std::string sheet = outcome.text("img/doodads.png");
    int width = 0, height = 0, channels = 0;
    stbi_uc *pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(sheet.data()), static_cast<int>(sheet.size()),
                                            &width, &height, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    const auto pixel = [&](int x, int y) { return std::vector<uint8_t>(pixels + (y * width + x) * 4, pixels + (y * width + x) * 4 + 4); };
    EXPECT_EQ(pixel(1, 73), std::vector<uint8_t>({255, 0, 0, 255}));  // doodad6 starts at (0, 72)
    EXPECT_EQ(pixel(2, 74), std::vector<uint8_t>({255, 0, 0, 255}));
    EXPECT_EQ(pixel(11, 101), std::vector<uint8_t>({0, 255, 0, 255}));  // doodad9 starts at (0, 96)
    stbi_image_free(pixels);

    // Too large for the sprite: refused, not spilt over its neighbours; a
    // loose picture that nothing imports is still named.
    write_file(art, text + "\nsprite doodad9\nimport src/mark.png 11 5\n");
    outcome = build_content(copy.root);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(holds(outcome.messages, "the imported picture (2 x 2 at 11, 5) does not fit the sprite doodad9: its 1 frame is 12 x 6 pixels"));
    EXPECT_TRUE(holds(outcome.messages, "images/dot.png: is not a picture the game loads"));
}

TEST(BuilderCommand, ExitsWithOneAndWritesNothingOnAnError) {
    ContentCopy copy;
    const std::string level = copy.path("levels/level3.txt"), fixed = read_file(level);
    const long line = std::count(fixed.begin(), fixed.end(), '\n') + 1;
    write_file(level, fixed + "titel:Oops\n");
    const std::string archive = copy.dir.file("data.quob");
    ProcessResult result = run_process(NUMBRAL_DATABUILD_EXE, {copy.root, archive}, {}, copy.dir.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(holds(result.err, level + ":" + std::to_string(line) + ": unknown key \"titel\""));
    EXPECT_FALSE(path_exists(archive));

    write_file(level, fixed);
    result = run_process(NUMBRAL_DATABUILD_EXE, {copy.root, archive}, {}, copy.dir.path);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(path_exists(archive) && !path_exists(archive + ".part"));
}

}  // namespace
