// Cutscene playback on the software renderer: descriptions read from a test
// archive laid over the fixture archive, pictures read back from the canvas.
#include "app/main_loop.h"
#include "app/video.h"
#include "audio/audio.h"
#include "common/controls.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/player.h"
#include "support/test_support.h"
#include "world/world.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <cmath>
#include <cstring>
#include <string>
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

Pixels black_canvas() {
    Pixels pixels;
    for (int i = 0; i < CANVAS_WIDTH * CANVAS_HEIGHT; ++i) pixels.insert(pixels.end(), {0, 0, 0, 255});
    return pixels;
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
        // No GL libraries behind the window, which would leak under the leak
        // checker.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        ASSERT_EQ(video_init(), 1);
    }
    static void TearDownTestSuite() {
        stop_cutscene();
        unmount_test_archives();
        SDL_Quit();
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

TEST_F(Cutscenes, TwentyFourFramesAtTheDefaultRateEndWhenTheTimerPassesTheLastFrame) {
    mount_description(7, "frames:24\n");
    cutscene_start(7);
    // 24 x 0.0833333 s is just under 2 s: 66 steps of 0.03 s fall short,
    // the 67th passes it.
    for (int step = 1; step <= 66; ++step) {
        cutscene_update(0.03f);
        ASSERT_TRUE(cutscene_active) << "step " << step;
    }
    EXPECT_EQ(cutscene_playback.frame_index, 23);
    cutscene_update(0.03f);
    EXPECT_FALSE(cutscene_active);

    // However long a game frame is, it advances one cutscene frame.
    cutscene_start(7);
    for (int step = 1; step <= 3; ++step) {
        cutscene_update(0.5f);
        EXPECT_EQ(cutscene_playback.frame_index, step);
    }
    // A timer exactly at the duration has not passed it.
    mount_description(7, "frames:24\nfps:4\n");
    cutscene_start(7);
    cutscene_update(0.25f);
    EXPECT_EQ(cutscene_playback.frame_index, 0);
    cutscene_update(0.25f);
    EXPECT_EQ(cutscene_playback.frame_index, 1);
}

TEST_F(Cutscenes, HoldingJumpForTheSkipTimeEndsItAndReleasingStartsOver) {
    mount_description(7, "frames:100\nfps:1\ntarget:quit\n");
    cutscene_start(7);
    for (bool released_at_one_second : {true, false}) {
        controls.jump = true;
        for (int step = 0; step < 4; ++step) cutscene_update(0.25f);
        controls.jump = !released_at_one_second;
        cutscene_update(0.04f);
        EXPECT_TRUE(cutscene_active);
    }
    EXPECT_EQ(bar_width(draw_canvas()), 64);  // 1.04 s: the whole row
    cutscene_update(0.01f);  // 1.05 s held
    EXPECT_FALSE(cutscene_active);
    EXPECT_TRUE(quit_requested);  // a skip follows the target too
}

TEST_F(Cutscenes, TheSkipBarGrowsFromOnePixelToTheFullWidth) {
    mount_description(7, "frames:100\n");
    cutscene_start(7);
    const struct {
        float hold;
        int width;
    } cases[] = {{0.0f, 0}, {0.001f, 1}, {0.5f, 31}, {1.0f, 61}, {1.049f, 64}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hold);
        skip_hold_time = c.hold;
        EXPECT_EQ(bar_width(draw_canvas()), c.width);
    }
}

TEST_F(Cutscenes, EachFrameIsCutFromItsPlaceInTheStrip) {
    mount({{"data/cutscene7.txt", text_bytes("frames:64\n")}, {"img/cutscene7.png", coded_strip(2)}});
    cutscene_start(7);
    ASSERT_NE(cutscene_playback.texture, nullptr);
    // Frame 33 lies in the second row at (64, 36).
    for (int frame : {0, 1, 31, 32, 33, 63}) {
        SCOPED_TRACE(frame);
        cutscene_playback.frame_index = frame;
        const Pixels pixels = draw_canvas();
        int wrong = 0;
        for (int y = 0; y < CANVAS_HEIGHT; ++y) {
            for (int x = 0; x < CANVAS_WIDTH; ++x) {
                const uint8_t expected[4] = {uint8_t(frame * 4), uint8_t(x * 4), uint8_t(y * 7), 255};
                wrong += std::memcmp(pixel_at(pixels, x, y), expected, 4) != 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    // A frame past the picture draws nothing, however far past.
    for (int frame : {64, 5000, INT32_MAX}) {
        cutscene_playback.frame_index = frame;
        EXPECT_EQ(draw_canvas(), black_canvas()) << frame;
    }
}

// How a description reads: the file's text against what playback holds after
// the start. The frame count before the start is 99.
TEST_F(Cutscenes, DescriptionLines) {
    std::string past_the_line_limit;
    for (int i = 0; i < 200; ++i) past_the_line_limit += "frames:1\n";
    past_the_line_limit += "frames:9\n";
    const float by_default = 0.0833333f;
    const struct {
        std::string text;
        int frames;
        float duration;
        bool replace;
        bool has_target;
        CutsceneTarget target;
    } cases[] = {
        {"frames:24\r\nfps:6\n", 24, 1.0f / 6, true, false, {}},
        {"\r\n\r\nframes::5:\n\nfps: +8", 5, 0.125f, true, false, {}},
        {"frames:12abc\nfps:-4", 12, -0.25f, true, false, {}},
        {"frames:x\nfps:0", 0, INFINITY, true, false, {}},
        {"fps:24", 99, 1.0f / 24, true, false, {}},  // the count is kept
        {"frames:3\nframes:8", 8, by_default, true, false, {}},
        {past_the_line_limit, 1, by_default, true, false, {}},
        // Keys and words are matched exactly; short lines are ignored.
        {"Frames:5\nFPS:1\nspeed:3\nframes\nfps", 99, by_default, true, false, {}},
        {"sound_overlay", 99, by_default, false, false, {}},
        {"sound_overlay:no", 99, by_default, false, false, {}},
        {"Sound_overlay\nsound_overlays", 99, by_default, true, false, {}},
        {"target:level:4:1", 99, by_default, true, true, {CUTSCENE_TARGET_LEVEL, 4, 1}},
        {"target:cutscene:3", 99, by_default, true, true, {CUTSCENE_TARGET_CUTSCENE, 3, 0}},
        {"target:quit:now", 99, by_default, true, true, {CUTSCENE_TARGET_QUIT, 0, 0}},
        {"target:level:4\ntarget:level\ntarget:cutscene\ntarget", 99, by_default, true, false, {}},
        {"target:Quit\ntarget:end:1\ntarget:Level:3:0", 99, by_default, true, false, {}},
        // The later target wins; an ignored line takes nothing away.
        {"target:quit\ntarget:cutscene:3", 99, by_default, true, true, {CUTSCENE_TARGET_CUTSCENE, 3, 0}},
        {"target:quit\ntarget:level:4", 99, by_default, true, true, {CUTSCENE_TARGET_QUIT, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        mount_description(7, c.text);
        cutscene_playback.frame_count = 99;
        cutscene_start(7);
        EXPECT_EQ(cutscene_playback.frame_count, c.frames);
        EXPECT_FLOAT_EQ(cutscene_playback.frame_duration, c.duration);
        EXPECT_EQ(cutscene_playback.replace_sounds, c.replace);
        EXPECT_EQ(cutscene_playback.has_target, c.has_target);
        if (c.has_target && cutscene_playback.has_target) {
            EXPECT_EQ(cutscene_playback.target.kind, c.target.kind);
            EXPECT_EQ(cutscene_playback.target.number, c.target.number);
            if (c.target.kind == CUTSCENE_TARGET_LEVEL) {
                EXPECT_EQ(cutscene_playback.target.entrance, c.target.entrance);
            }
        }
        stop_cutscene();
    }
}

TEST_F(Cutscenes, CountsOfZeroOrBelowEndAtTheFirstAdvanceAndNoRateNeverAdvances) {
    for (const char *text : {"frames:0", "frames:-5", ""}) {
        SCOPED_TRACE(text);
        mount_description(7, text);
        cutscene_playback.frame_count = 0;  // as at program start
        cutscene_start(7);
        cutscene_update(0.05f);
        EXPECT_TRUE(cutscene_active);
        cutscene_update(0.05f);
        EXPECT_FALSE(cutscene_active);
    }
    mount_description(7, "frames:2\nfps:0");
    cutscene_start(7);
    for (int step = 0; step < 10000; ++step) cutscene_update(0.099f);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_playback.frame_index, 0);
}

TEST_F(Cutscenes, MissingFilesPlayAsAnEmptyDescriptionOnABlackCanvas) {
    // Cutscene 8 has no file at all; cutscene 7 has a strip that is no PNG.
    mount({{"img/cutscene7.png", text_bytes("not a picture")}, {"data/cutscene7.txt", text_bytes("frames:3\ntarget:quit")}});
    cutscene_playback.frame_count = 2;
    cutscene_start(8);
    EXPECT_TRUE(cutscene_active);
    EXPECT_EQ(cutscene_number, 8);
    EXPECT_EQ(cutscene_playback.texture, nullptr);
    EXPECT_FALSE(cutscene_playback.has_target);
    EXPECT_EQ(cutscene_playback.frame_count, 2);
    EXPECT_EQ(draw_canvas(), black_canvas());

    cutscene_start(7);
    EXPECT_EQ(cutscene_playback.texture, nullptr);
    for (int step = 0; step < 3; ++step) cutscene_update(0.09f);
    EXPECT_FALSE(cutscene_active);
    EXPECT_TRUE(quit_requested);
}

TEST_F(Cutscenes, AStartOverAPlayingCutsceneReleasesItsStrip) {
    cutscene_start(10);
    ASSERT_NE(cutscene_playback.texture, nullptr);
    const int after_one = SDL_GetNumAllocations();
    cutscene_start(10);  // a pickup and a trigger in the same frame
    ASSERT_NE(cutscene_playback.texture, nullptr);
    EXPECT_EQ(SDL_GetNumAllocations(), after_one);
    stop_cutscene();
    EXPECT_EQ(cutscene_playback.texture, nullptr);
    EXPECT_EQ(cutscene_number, 0);
    EXPECT_LT(SDL_GetNumAllocations(), after_one);
}

TEST_F(Cutscenes, MusicByNumberReplacesUnlessOverlaid) {
    const struct {
        int number;
        const char *text;
        MusicId music_after;
    } cases[] = {
        {1, "frames:1", MUSIC_CUTSCENE1},
        {2, "frames:1", MUSIC_CUTSCENE2},
        {5, "frames:1", MUSIC_CUTSCENE5},
        {3, "frames:1", MUSIC_LEVEL1},               // no track: the music stays
        {1, "sound_overlay", MUSIC_LEVEL1},          // laid over what plays
        {5, "frames:1\nsound_overlay", MUSIC_LEVEL1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.number);
        mount_description(c.number, c.text);
        current_music = MUSIC_LEVEL1;
        cutscene_start(c.number);
        EXPECT_EQ(current_music, c.music_after);
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
    EXPECT_EQ(cutscene_number, 11);  // started in the same frame
    EXPECT_EQ(cutscene_playback.frame_index, 0);
    const Pixels pixels = draw_canvas();
    EXPECT_EQ(pixel_at(pixels, 5, 5)[1], 255);  // cutscene 11's green strip
    cutscene_update(0.09f);  // one frame, then quit
    EXPECT_FALSE(cutscene_active);
    EXPECT_TRUE(quit_requested);
    EXPECT_EQ(level_state.level, 4);

    // Level 3 at entrance 0 starts a new game, in memory only.
    std::snprintf(app_save_path, sizeof app_save_path, "%s", folder.file("numbral.save").c_str());
    const struct {
        int cutscene;
        float x, y;
        bool new_game;
    } levels[] = {
        {12, 8, 27, true},     // entrance 0
        {13, 120, 27, false},  // entrance 1
        {5, 120, 27, false},   // no target: the level stays as it was
    };
    for (const auto &c : levels) {
        SCOPED_TRACE(c.cutscene);
        settings.buttstomp = true;
        settings.savelevel = 4;
        settings.savecheckpoint = 2;
        player.health = player.lives = 1;
        cutscene_start(c.cutscene);
        for (int step = 0; step < 100 && cutscene_active; ++step) cutscene_update(0.09f);
        EXPECT_FALSE(cutscene_active);
        EXPECT_EQ(level_state.level, 3);
        EXPECT_EQ(player.x, c.x);
        EXPECT_EQ(player.y, c.y);
        EXPECT_EQ(settings.buttstomp, !c.new_game);
        EXPECT_EQ(settings.savelevel, c.new_game ? 3 : 4);
        EXPECT_EQ(settings.savecheckpoint, c.new_game ? 1 : 2);
        EXPECT_EQ(player.health, c.new_game ? 5 : 1);
        EXPECT_EQ(player.lives, c.new_game ? 3 : 1);
    }
    EXPECT_FALSE(path_exists(app_save_path));
    app_save_path[0] = '\0';
}

uint32_t frame_loop_ms = 0;
uint32_t frame_loop_ticks() { return frame_loop_ms; }
void no_delay(uint32_t) {}

// The opening through the frame loop: the fixture's cutscene 1 shows its two
// frames at 12 a second and lands in level 0 as its file says, playing in
// the frame the cutscene ends.
TEST_F(Cutscenes, TheOpeningPlaysThroughTheFrameLoopIntoTheTitleLevel) {
    frame_clock = {frame_loop_ticks, no_delay};
    main_loop_start();
    ASSERT_TRUE(cutscene_active);
    ASSERT_EQ(cutscene_number, 1);
    EXPECT_EQ(current_music, MUSIC_CUTSCENE1);
    int frames = 0;
    while (cutscene_active && frames < 100) {
        frame_loop_ms += 16;
        ASSERT_TRUE(main_loop_frame());
        ++frames;
    }
    EXPECT_EQ(frames, 11);  // 2 / 12 s lies between 10 and 11 frames of 16 ms
    EXPECT_EQ(level_state.level, 0);
    EXPECT_EQ(trigger_count, 3);
    EXPECT_EQ(player_point_x(), 32);  // entrance 0
    EXPECT_EQ(player_point_y(), 23);
    EXPECT_EQ(current_music, MUSIC_LEVEL0);
}

}  // namespace
