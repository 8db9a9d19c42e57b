// Every rule of the data builder rejects a source that breaks it, with a
// message "file:line: what is wrong"; the fixture sources pass them all.
#include "databuild_support.h"

#include <cmath>
#include <functional>

namespace {

std::string repeat(const std::string &line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line + "\n";
    return text;
}

// The number the next appended line of the file gets.
int next_line(const ContentCopy &copy, const std::string &relative) {
    const std::string text = read_file(copy.path(relative));
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines + 1;
}

std::string ogg_at(int rate) {
    std::vector<int16_t> samples(rate / 10);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(8000 * std::sin(i * 0.1));
    const std::vector<uint8_t> bytes = dataio_encode_ogg(samples.data(), static_cast<int>(samples.size()), 1, rate, 0.3f);
    return std::string(bytes.begin(), bytes.end());
}

struct RuleCase {
    const char *name;
    std::function<std::string(const ContentCopy &)> breaks;  // edits the copy, returns the expected message
};

const RuleCase RULES[] = {
    {"unknown level key",
     [](const ContentCopy &c) {
         const int line = next_line(c, "levels/level3.txt");
         c.append("levels/level3.txt", "titel:Oops\n");
         return c.path("levels/level3.txt") + ":" + std::to_string(line) + ": unknown key \"titel\"";
     }},
    {"more than 100 doodads, counting map boxes and created ones",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("doodad:6:10:10", 96));
         return c.path("levels/level4.txt") + ": holds 101 doodads";
     }},
    {"more than 20 enemies",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("enemy:0:10:10", 20));
         return c.path("levels/level4.txt") + ": holds 21 enemies; the game has room for 20";
     }},
    {"more than 10 triggers",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("trigger:quit:0:0:1:1", 9));
         return c.path("levels/level4.txt") + ": holds 11 triggers; the game has room for 10";
     }},
    {"more than 6 save points",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("savepoint:2:10:10", 6));
         return c.path("levels/level4.txt") + ": holds 7 save points; the game has room for 6";
     }},
    {"more than 5 pickups",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("pickup:0:10:10", 5));
         return c.path("levels/level4.txt") + ": holds 6 pickups; the game has room for 5";
     }},
    {"more than 200 lines",
     [](const ContentCopy &c) {
         c.append("levels/level4.txt", repeat("flashlight", 190));
         return c.path("levels/level4.txt") + ": comes to 209 lines; the game reads at most 200";
     }},
    {"more than 200 lines with the map's boxes",
     [](const ContentCopy &c) {
         c.append("levels/level3.txt", repeat("cameralocked", 180));
         return c.path("levels/level3.txt") + ": comes to 206 lines with its map's boxes";
     }},
    {"more than 10 fields",
     [](const ContentCopy &c) {
         const int line = next_line(c, "levels/level4.txt");
         c.append("levels/level4.txt", "trigger:createdoodad:1:2:3:4:5:6:7:8:9\n");
         return c.path("levels/level4.txt") + ":" + std::to_string(line) + ": this line has more than 10 fields";
     }},
    {"more than 10 fields in a cutscene",
     [](const ContentCopy &c) {
         c.append("cutscenes/cutscene5.txt", "target:level:0:0:0:0:0:0:0:0:0\n");
         return c.path("cutscenes/cutscene5.txt") + ":5: this line has more than 10 fields";
     }},
    {"level without its picture",
     [](const ContentCopy &c) {
         c.remove("images/level4.art");
         return c.path("levels/level4.txt") + ": has no level picture img/level4.png";
     }},
    {"layer keys without the layer's picture",
     [](const ContentCopy &c) {
         c.remove("images/level3-rear.art");
         return c.path("levels/level3.txt") + ":6: sets a layer whose picture img/level3-rear.png is missing";
     }},
    {"layer wider than its picture",
     [](const ContentCopy &c) {
         c.replace("levels/level3.txt", "RearBGwidth:96", "RearBGwidth:200");
         return c.path("levels/level3.txt") + ":6: the layer needs a picture of at least 200 x 36 pixels";
     }},
    {"cutscene without its picture",
     [](const ContentCopy &c) {
         c.remove("images/cutscene2.art");
         return c.path("cutscenes/cutscene2.txt") + ": has no picture img/cutscene2.png";
     }},
    {"cutscene with more frames than its picture",
     [](const ContentCopy &c) {
         c.replace("cutscenes/cutscene2.txt", "frames:1", "frames:3");
         return c.path("cutscenes/cutscene2.txt") + ":2: 3 frames need a picture of at least 192 x 36 pixels";
     }},
    {"trigger to a missing level",
     [](const ContentCopy &c) {
         c.replace("levels/level3.txt", "trigger:level:4:0", "trigger:level:9:0");
         return c.path("levels/level3.txt") + ":16: there is no level 9";
     }},
    {"trigger to a missing cutscene",
     [](const ContentCopy &c) {
         const int line = next_line(c, "levels/level3.txt");
         c.append("levels/level3.txt", "trigger:cutscene:7:0:0:4:4\n");
         return c.path("levels/level3.txt") + ":" + std::to_string(line) + ": there is no cutscene 7";
     }},
    {"cutscene target a missing level",
     [](const ContentCopy &c) {
         c.replace("cutscenes/cutscene1.txt", "target:level:0:0", "target:level:8:0");
         return c.path("cutscenes/cutscene1.txt") + ":4: there is no level 8";
     }},
    {"cutscene target a missing cutscene",
     [](const ContentCopy &c) {
         c.append("cutscenes/cutscene2.txt", "target:cutscene:9\n");
         return c.path("cutscenes/cutscene2.txt") + ":5: there is no cutscene 9";
     }},
    {"continue without cutscene 2",
     [](const ContentCopy &c) {
         c.remove("cutscenes/cutscene2.txt");
         return c.path("levels/level0.txt") + ":6: without a saved game this trigger plays cutscene 2, and there is none";
     }},
    {"ability pickup without cutscene 5",
     [](const ContentCopy &c) {
         c.remove("cutscenes/cutscene5.txt");
         return c.path("levels/level4.txt") + ":17: the ability pickup plays cutscene 5, and there is none";
     }},
    {"sheet frame outside its sheet",
     [](const ContentCopy &c) {
         c.append("images/ui.art", "\nframe 1\ngg\n");
         return c.path("images/ui.art") + ":16: frame 1 lies outside the sheet: lifepip has 1 frame";
     }},
    {"grid placed outside its picture",
     [](const ContentCopy &c) {
         c.append("images/level3-rear.art", "at 95 0\nyy\n");
         return c.path("images/level3-rear.art") + ":7: the grid lies outside the sheet (96 x 36)";
     }},
    {"sheet frame of the wrong size",
     [](const ContentCopy &c) {
         c.replace("images/ui.art", "frame\ngg", "frame\nggg");
         return c.path("images/ui.art") + ":13: the frame is 3 x 1 pixels; it must be 2 x 1";
     }},
    {"a missing one of the 22 sounds",
     [](const ContentCopy &c) {
         c.remove("sounds/jump0.snd");
         return c.path("sounds") + ": the sound snd/jump0.ogg is missing";
     }},
    {"a sound not at 44000 frames per second",
     [](const ContentCopy &c) {
         c.remove("sounds/jump0.snd");
         c.write("sounds/jump0.ogg", ogg_at(22050));
         return c.path("sounds/jump0.ogg") + ": plays at 22050 frames per second";
     }},
    {"a sound the game does not load",
     [](const ContentCopy &c) {
         c.write("sounds/jump1.snd", "voice sine\n");
         return c.path("sounds/jump1.snd") + ": is not one of the game's 22 sounds";
     }},
    {"a picture the game does not load",
     [](const ContentCopy &c) {
         c.write("images/hud.art", "size 1 1\n");
         return c.path("images/hud.art") + ": is not a picture the game loads";
     }},
};

class BuilderRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(BuilderRule, RejectsTheBrokenSourceWithItsMessage) {
    ContentCopy copy;
    const std::string expected = GetParam().breaks(copy);
    const BuildOutcome outcome = build_content(copy.root);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.messages.find(expected), std::string::npos) << "expected: " << expected << "\ngot:\n" << outcome.messages;
}

INSTANTIATE_TEST_SUITE_P(Rules, BuilderRule, ::testing::ValuesIn(RULES), [](const auto &info) {
    std::string name;
    for (const char *c = info.param.name; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

TEST(BuilderRules, TheFixtureSourcesPassWithoutAWarning) {
    const BuildOutcome outcome = build_content(NUMBRAL_FIXTURE_DIR);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.errors, 0);
    EXPECT_EQ(outcome.warnings, 0) << outcome.messages;
}

TEST(BuilderRules, ValuesTheGameWouldMisreadAreRejected) {
    struct Case {
        const char *line;
        const char *message;
    };
    const Case cases[] = {
        {"doodad:12:1:1", "doodad types run from -1 to 9, not 12"},
        {"doodad:1:1", "\"doodad\" needs 4 fields"},
        {"doodad:-1:1:1:4", "an invisible box is written doodad:-1:x:y:w:h"},
        {"doodad:3:1:1:lift:4:4", "after doodad:type:x:y only :elevator:dest_x:dest_y may follow"},
        {"enemy:4:1:1", "enemies are of kind 0 to 3, not 4"},
        {"pickup:2:1:1", "pickups are of kind 0 (health) or 1 (the stomp ability), not 2"},
        {"music:3", "music is -1 (silence), 0, 1 or 2, not 3"},
        {"title:A title that goes on and on well beyond fifty letters", "at most 50 fit"},
        {"entrance:two:1:1", "the entrance number must be a whole number, not \"two\""},
        {"trigger:cutscene:3:0:0:8", "\"trigger\" needs 7 fields"},
        {"trigger:movecamera:10:0:0:0:4:4:9", "takes at most 8 fields"},
        {"trigger:level:5:1:0:0:8:36:continue", "the ninth field of a level trigger is \"loadgame\" or \"newgame\""},
        {"trigger:teleport:0:0:1:1", "unknown trigger command \"teleport\""},
        {"BGfps:0", "\"BGfps\" must be 1 or more"},
        {"Title:Foo", "unknown key \"Title\""},
        {" title:Foo", "unknown key \" title\""},
    };
    for (const Case &c : cases) {
        ContentCopy copy;
        copy.append("levels/level4.txt", std::string(c.line) + "\n");
        const BuildOutcome outcome = build_content(copy.root);
        EXPECT_FALSE(outcome.ok) << c.line;
        EXPECT_NE(outcome.messages.find(c.message), std::string::npos) << c.line << "\n" << outcome.messages;
    }
}

TEST(BuilderRules, CommentsAndNotesNeverReachTheArchive) {
    const BuildOutcome outcome = build_content(NUMBRAL_FIXTURE_DIR);
    for (const ArchiveEntry &entry : outcome.entries) {
        if (entry.path.rfind("data/", 0) != 0) continue;
        const std::string text(entry.bytes.begin(), entry.bytes.end());
        EXPECT_EQ(text.find('#'), std::string::npos) << entry.path;
        EXPECT_EQ(text.find("\n\n"), std::string::npos) << entry.path;
    }
}

TEST(BuilderCommand, ExitsWithOneAndWritesNothingOnAnError) {
    ContentCopy copy;
    const int line = next_line(copy, "levels/level3.txt");
    copy.append("levels/level3.txt", "titel:Oops\n");
    const std::string archive = copy.dir.file("data.quob");
    ProcessResult result = run_process(NUMBRAL_DATABUILD_EXE, {copy.root, archive}, {}, copy.dir.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find(copy.path("levels/level3.txt") + ":" + std::to_string(line) + ": unknown key \"titel\""),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(path_exists(archive));

    copy.replace("levels/level3.txt", "titel:Oops\n", "");
    result = run_process(NUMBRAL_DATABUILD_EXE, {copy.root, archive}, {}, copy.dir.path);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(path_exists(archive));
    EXPECT_FALSE(path_exists(archive + ".part"));
}

}  // namespace
