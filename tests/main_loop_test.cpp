#include "app/app.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "app/pause_menu.h"
#include "common/settings.h"
#include "resources/sprite_sheets.h"
#include "app/video.h"
#include "level/cutscene.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

namespace {

uint32_t now_ms = 0;
uint32_t cost_per_tick_read = 0;  // time that passes each time the clock is read
std::vector<uint32_t> delays;

void push_window_close() { push_test_event(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE); }

class MainLoopTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        settings_apply_defaults();
        ASSERT_EQ(video_init(), 1);
        // Loop start opens cutscene 1, which the fixture archive holds.
        mount_fixture_archive();
    }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override {
        frame_clock = {[] { return (now_ms += cost_per_tick_read) - cost_per_tick_read; },
                       [](uint32_t ms) { delays.push_back(ms); }};
        now_ms = 1000;
        cost_per_tick_read = 0;
        delays.clear();
        controls = {};
        quit_requested = false;
        paused = false;
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        main_loop_start();
        cutscene_active = false;  // the tests choose their mode themselves
    }
    // Runs one frame that lasts the given time since the previous one.
    bool frame_after(uint32_t elapsed_ms) {
        now_ms += elapsed_ms;
        return main_loop_frame();
    }
};

}  // namespace

// The step is the elapsed time in seconds, across a counter wrap; each frame
// waits until it has lasted 16 ms, a slow one for nothing.
TEST_F(MainLoopTest, StepsByTheElapsedTimeAndWaitsUntilTheFrameLastedSixteenMilliseconds) {
    now_ms = 0xFFFFFFF8u;
    main_loop_start();
    cost_per_tick_read = 5;  // the frame's own work takes 5 ms
    frame_after(20);  // the counter passes zero
    EXPECT_FLOAT_EQ(dt, 0.020f);
    cost_per_tick_read = 40;
    frame_after(16);
    EXPECT_EQ(delays, (std::vector<uint32_t>{11, 0}));
}

// A frame of 100 ms is dropped without updating anything, yet paced; one of
// 99 ms runs. The pause key opens the menu during play only.
TEST_F(MainLoopTest, LongFramesAreDroppedAndThePauseKeyOpensTheMenuDuringPlayOnly) {
    controls.pause_requested = true;
    frame_after(100);
    EXPECT_FALSE(paused);
    EXPECT_TRUE(controls.pause_requested);
    EXPECT_EQ(delays.size(), 1u);

    cutscene_active = true;
    frame_after(99);
    EXPECT_FALSE(controls.pause_requested);  // cleared in every cutscene frame
    EXPECT_FALSE(paused);

    cutscene_active = false;
    push_test_event(SDL_KEYDOWN, SDLK_ESCAPE);
    frame_after(16);
    EXPECT_TRUE(paused);
    EXPECT_TRUE(menu_armed);
    EXPECT_EQ(menu_cursor, 1);
}

TEST_F(MainLoopTest, AWindowCloseEndsTheLoopBeforeDrawingOrWaiting) {
    push_window_close();
    EXPECT_FALSE(frame_after(16));
    EXPECT_TRUE(delays.empty());
}

// The clock reads 1000 before the sheets load and 1060 after, so the first
// frame's step shows when loop start took the clock.
uint32_t ticks_by_sheets() { return ui_texture ? 1060 : 1000; }

// Loop start loads the sheets after reading the clock; without the doodad
// sheet the boss sheet is not even tried.
TEST_F(MainLoopTest, LoopStartLoadsTheSpriteSheetsAfterReadingTheClock) {
    const std::vector<uint8_t> pixel = {255, 0, 0, 255};
    const std::vector<uint8_t> png = dataio_encode_png(pixel.data(), 1, 1);
    TempDir dir;
    mount_test_archive(dir.file("sheets.zip"), {{"img/ui.png", png}, {"img/boss.png", png}});
    SDL_DestroyTexture(ui_texture);
    ui_texture = nullptr;
    frame_clock.ticks = ticks_by_sheets;
    main_loop_start();
    EXPECT_NE(ui_texture, nullptr);
    EXPECT_EQ(enemies_texture, nullptr);
    EXPECT_EQ(boss_texture, nullptr);
    main_loop_frame();
    EXPECT_FLOAT_EQ(dt, 0.060f);

    mount_test_archive(dir.file("all.zip"), {{"img/doodads.png", png}, {"img/boss.png", png}});
    main_loop_start();
    EXPECT_NE(boss_texture, nullptr);
    unmount_test_archives();
}

// Starts the program as the platform entry does; never returns normally.
void start_game_in(const std::string &profile) {
    setenv("USERPROFILE", profile.c_str(), 1);
    if (chdir(profile.c_str()) != 0) std::exit(3);
    frame_clock = {[] {  // the window closes at the 20th reading of the clock
                       static uint32_t reads = 0;
                       if (++reads == 20) push_window_close();
                       return reads * 8;
                   },
                   [](uint32_t) {}};
    char name[] = "numbral", unknown[] = "--Help";  // ignored
    char *argv[] = {name, unknown, nullptr};
    app_main(2, argv);
    std::exit(2);  // app_main must not return after a normal run
}

// The real start-up path, from app_main to the window's close button.
TEST(FullStartDeathTest, RunsUntilTheWindowClosesAndExitsWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir profile;
    write_file(profile.file("data.quob"), read_file(NUMBRAL_FIXTURE_ARCHIVE));
    EXPECT_EXIT(start_game_in(profile.path), testing::ExitedWithCode(0), "");
}
