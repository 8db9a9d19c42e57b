// Cutscene playback on the software renderer: descriptions read from a test
// archive laid over the fixture archive, pictures read back from the canvas.
#include "audio/audio.h"
#include "common/controls.h"
#include "common/screen.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/player.h"
#include "support/test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Pixels = std::vector<uint8_t>;

std::vector<uint8_t> text_bytes(const std::string &text) { return {text.begin(), text.end()}; }

// A strip whose every pixel tells where it lies: red is the frame x 4, green
// the column x 4 and blue the row x 7 within the frame.
std::vector<uint8_t> coded_strip(int rows) {
    const int width = 64 * CUTSCENE_FRAMES_PER_ROW, height = 36 * rows;
    Pixels rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int frame = y / 36 * CUTSCENE_FRAMES_PER_ROW + x / 64;
            rgba.insert(rgba.end(), {uint8_t(frame * 4), uint8_t(x % 64 * 4), uint8_t(y % 36 * 7), 255});
        }
    }
    return dataio_encode_png(rgba.data(), width, height);
}

// Clears the canvas to black as the main loop does, draws, reads it back.
Pixels draw_canvas() {
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    cutscene_draw();
    Pixels pixels(CANVAS_WIDTH * CANVAS_HEIGHT * 4);
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, pixels.data(), CANVAS_WIDTH * 4);
    return pixels;
}

// Black where drawing left nothing: three zero bytes in every pixel.
bool all_black(const Pixels &pixels) {
    return std::count(pixels.begin(), pixels.end(), 0) == 3 * CANVAS_WIDTH * CANVAS_HEIGHT;
}

const uint8_t *pixel_at(const Pixels &pixels, int x, int y) { return &pixels[(y * CANVAS_WIDTH + x) * 4]; }

// The skip bar's run of (74, 25, 74) from the left of the bottom row; -1 when
// anything else on the canvas has its colour.
int bar_width(const Pixels &pixels) {
    static const uint8_t bar[4] = {74, 25, 74, 255};
    int width = 0;
    while (width < CANVAS_WIDTH && std::memcmp(pixel_at(pixels, width, 35), bar, 4) == 0) ++width;
    for (int y = 0; y < CANVAS_HEIGHT; ++y)
        for (int x = y == 35 ? width : 0; x < CANVAS_WIDTH; ++x)
            if (std::memcmp(pixel_at(pixels, x, y), bar, 4) == 0) return -1;
    return width;
}

// Ends what plays without following its target.
void stop_cutscene() {
    cutscene_playback.has_target = false;
    cutscene_end();
}

class Cutscenes : public testing::Test {
protected:
    static void SetUpTestSuite() {
        settings_apply_defaults();
        start_test_video();
    }
    static void TearDownTestSuite() {
        stop_cutscene();
        release_level_textures();
        stop_test_video();
    }
    void SetUp() override {
        stop_cutscene();
        cutscene_playback.frame_count = 0;
        controls = {};
        quit_requested = false;
        current_music = MUSIC_NONE;
        mount({});
    }
    void TearDown() override { stop_cutscene(); }

    // The entries, then the fixture archive under them.
    void mount(std::vector<ArchiveEntry> entries) {
        entries.push_back({"test.txt", {}});  // an archive without entries does not mount
        mount_test_archive(folder.file("cutscenes.zip"), entries);
        ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    }
    void mount_description(int n, const std::string &text) {
        mount({{"data/cutscene" + std::to_string(n) + ".txt", text_bytes(text)}});
    }

    TempDir folder;
};

TEST_F(Cutscenes, AFrameAdvancesWhenTheTimerPassesItsDurationAndTheLastEndsIt) {
    mount_description(7, "frames:24\n");
    cutscene_start(7);
    // 24 x 0.0833333 s is just under 2 s: 66 steps of 0.03 s fall short,
    // the 67th passes it.
    for (int step = 1; step <= 66; ++step) cutscene_update(0.03f);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_playback.frame_index, 23);
    cutscene_update(0.03f);
    EXPECT_FALSE(cutscene_active);

    // A timer exactly at the duration has not passed it; however long a
    // game frame is, it advances one cutscene frame.
    mount_description(7, "frames:24\nfps:4\n");
    cutscene_start(7);
    for (const auto &[dt, frame] : {std::pair{0.25f, 0}, {0.25f, 1}, {5.0f, 2}}) {
        cutscene_update(dt);
        EXPECT_EQ(cutscene_playback.frame_index, frame);
    }
}

// The bar is 1 + the whole part of hold / 1.05 s x 64 pixels.
TEST_F(Cutscenes, HoldingJumpForTheSkipTimeEndsItAndReleasingStartsOver) {
    mount_description(7, "frames:100\nfps:1\ntarget:quit\n");
    cutscene_start(7);
    EXPECT_EQ(bar_width(draw_canvas()), 0);
    for (bool released_at_one_second : {true, false}) {
        controls.jump = true;
        for (int width : {16, 31, 46, 61}) {
            cutscene_update(0.25f);
            EXPECT_EQ(bar_width(draw_canvas()), width);
        }
        controls.jump = !released_at_one_second;
        cutscene_update(0.04f);
        EXPECT_TRUE(cutscene_active);
    }
    EXPECT_EQ(bar_width(draw_canvas()), 64);  // 1.04 s: the whole row
    cutscene_update(0.01f);                   // 1.05 s held
    EXPECT_FALSE(cutscene_active);
    EXPECT_TRUE(quit_requested);  // a skip follows the target too
}

TEST_F(Cutscenes, EachFrameIsCutFromItsPlaceInTheStrip) {
    mount({{"data/cutscene7.txt", text_bytes("frames:64\n")}, {"img/cutscene7.png", coded_strip(2)}});
    cutscene_start(7);
    ASSERT_NE(cutscene_playback.texture, nullptr);
    for (int frame : {0, 31, 33, 63}) {  // frame 33 lies in the second row at (64, 36)
        cutscene_playback.frame_index = frame;
        const Pixels pixels = draw_canvas();
        int wrong = 0;
        for (int y = 0; y < CANVAS_HEIGHT; ++y) {
            for (int x = 0; x < CANVAS_WIDTH; ++x) {
                const uint8_t expected[4] = {uint8_t(frame * 4), uint8_t(x * 4), uint8_t(y * 7), 255};
                wrong += std::memcmp(pixel_at(pixels, x, y), expected, 4) != 0;
            }
        }
        EXPECT_EQ(wrong, 0) << frame;
    }
    // A frame past the picture draws nothing, however far past.
    for (int frame : {64, INT32_MAX}) {
        cutscene_playback.frame_index = frame;
        EXPECT_TRUE(all_black(draw_canvas())) << frame;
    }
}

// How a description reads: the file's text against what playback holds after
// the start. The frame count before the start is 99.
TEST_F(Cutscenes, DescriptionLines) {
    const struct {
        std::string text;
        const char *playback;
    } cases[] = {
        {"frames:24\r\nfps:6\n", "24 frames every 0.166667"},
        {"frames:x\nfps:0", "0 frames every inf"},
        {"fps:-4\nsound_overlay:no", "99 frames every -0.25 overlaid"},  // the count is kept
        // Keys and words are matched exactly; short lines are ignored.
        {"Frames:5\nFPS:1\nframes\ntarget:Quit\ntarget:level\ntarget", "99 frames every 0.0833333"},
        {"target:level:4:1", "99 frames every 0.0833333 then level 4 1"},
        // The later target wins; an ignored line takes nothing away.
        {"target:quit\ntarget:cutscene:3", "99 frames every 0.0833333 then cutscene 3"},
        {"target:quit\ntarget:level:4", "99 frames every 0.0833333 then quit 0"},
    };
    for (const auto &c : cases) {
        mount_description(7, c.text);
        cutscene_playback.frame_count = 99;
        cutscene_start(7);
        const CutscenePlayback &p = cutscene_playback;
        char text[128];
        std::snprintf(text, sizeof text, "%d frames every %g%s", p.frame_count, p.frame_duration,
                      p.replace_sounds ? "" : " overlaid");
        std::string playback = text;
        static const char *const kinds[] = {"level", "cutscene", "quit"};
        if (p.has_target) playback += " then " + (kinds[p.target.kind] + (" " + std::to_string(p.target.number)));
        if (p.has_target && p.target.kind == CUTSCENE_TARGET_LEVEL) playback += " " + std::to_string(p.target.entrance);
        EXPECT_EQ(playback, c.playback) << c.text.substr(0, 60);
        stop_cutscene();
    }
}

TEST_F(Cutscenes, CountsOfZeroOrBelowEndAtTheFirstAdvanceAndNoRateNeverAdvances) {
    // Cutscene 8 has neither description nor strip: it plays as an empty
    // one, which keeps the count of 0 that a program starts with, on a
    // black canvas.
    const std::pair<int, const char *> cases[] = {{7, "frames:-5"}, {8, ""}};
    for (const auto &[number, text] : cases) {
        mount_description(7, text);
        cutscene_playback.frame_count = 0;
        cutscene_start(number);
        EXPECT_TRUE(all_black(draw_canvas()));
        cutscene_update(0.05f);
        EXPECT_TRUE(cutscene_active) << text;
        cutscene_update(0.05f);
        EXPECT_FALSE(cutscene_active) << text;
    }
    mount_description(7, "frames:2\nfps:0");
    cutscene_start(7);
    for (int step = 0; step < 10000; ++step) cutscene_update(0.099f);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_playback.frame_index, 0);
}

TEST_F(Cutscenes, AStartOverAPlayingCutsceneReleasesItsStrip) {
    cutscene_start(10);
    ASSERT_NE(cutscene_playback.texture, nullptr);
    const int after_one = SDL_GetNumAllocations();
    cutscene_start(10);  // a pickup and a trigger in the same frame
    EXPECT_EQ(SDL_GetNumAllocations(), after_one);
    stop_cutscene();
    EXPECT_EQ(cutscene_playback.texture, nullptr);
    EXPECT_EQ(cutscene_number, 0);
    EXPECT_LT(SDL_GetNumAllocations(), after_one);
}

TEST_F(Cutscenes, MusicByNumberReplacesUnlessOverlaid) {
    const std::tuple<int, const char *, MusicId> cases[] = {
        {5, "frames:1", MUSIC_CUTSCENE5}, {3, "frames:1", MUSIC_LEVEL1},  // no track: the music stays
        {5, "frames:1\nsound_overlay", MUSIC_LEVEL1}};
    for (const auto &[number, text, music] : cases) {
        mount_description(number, text);
        current_music = MUSIC_LEVEL1;
        cutscene_start(number);
        EXPECT_EQ(current_music, music) << number << " " << text;
        stop_cutscene();
    }
}

// The fixture's cutscenes 10 to 13 and 5 played to their ends.
TEST_F(Cutscenes, TargetsAreFollowedWhenTheLastFramePasses) {
    ASSERT_TRUE(load_level(4, 0, false));
    cutscene_start(10);  // two frames, then cutscene 11
    cutscene_update(0.09f);
    EXPECT_EQ(cutscene_number, 10);
    cutscene_update(0.09f);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 11);  // started in the same frame, on its own clock
    EXPECT_EQ(cutscene_playback.frame_index, 0);
    EXPECT_EQ(pixel_at(draw_canvas(), 5, 5)[1], 255);  // cutscene 11's green strip
    cutscene_update(0.09f);                           // one frame, then quit
    EXPECT_FALSE(cutscene_active);
    EXPECT_TRUE(quit_requested);
    EXPECT_EQ(level_state.level, 4);

    // Level 3 at entrance 0 starts a new game, in memory only.
    std::snprintf(app_save_path, sizeof app_save_path, "%s", folder.file("numbral.save").c_str());
    const std::tuple<int, float, bool> cases[] = {{12, 8.0f, true}, {13, 120.0f, false}, {5, 120.0f, false}};
    for (const auto &[number, x, new_game] : cases) {
        settings.buttstomp = true;
        settings.savelevel = 4;
        settings.savecheckpoint = 2;
        player.health = player.lives = 1;
        cutscene_start(number);  // 12: entrance 0; 13: entrance 1; 5: no target, the level stays
        for (int step = 0; step < 100 && cutscene_active; ++step) cutscene_update(0.09f);
        SCOPED_TRACE(number);
        EXPECT_FALSE(cutscene_active);
        EXPECT_EQ(level_state.level, 3);
        EXPECT_EQ(player.x, x);
        const Player &p = player;
        EXPECT_EQ((std::tuple{settings.buttstomp, settings.savelevel, settings.savecheckpoint, p.health, p.lives}),
                  (new_game ? std::tuple{false, 3, 1, 5, 3} : std::tuple{true, 4, 2, 1, 1}));
    }
    EXPECT_FALSE(path_exists(app_save_path));
    app_save_path[0] = '\0';
}

}  // namespace
