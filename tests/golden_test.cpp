// Whole frames of the fixture archive, drawn by the frame loop on the
// software renderer and compared pixel for pixel with the pictures in
// tests/golden/. After an intended change of the picture, rewrite them with
//
//     NUMBRAL_UPDATE_GOLDEN=1 ./build/tests/golden_test
//
// and look at the new pictures before committing them.
#include "app/main_loop.h"
#include "app/pause_menu.h"
#include "app/screenshot.h"
#include "app/video.h"
#include "common/controls.h"
#include "common/random.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "render_support.h"
#include "resources/png.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

uint32_t now_ms = 0;
uint32_t clock_ticks() { return now_ms; }
void no_delay(uint32_t) {}

void frames(int count) {
    for (int i = 0; i < count; ++i) {
        now_ms += 16;
        main_loop_frame();
    }
}

void write_png(const std::string &path, const std::vector<uint8_t> &rgba) {
    size_t size = 0;
    uint8_t *png = screenshot_encode_png(rgba.data(), CANVAS_WIDTH, CANVAS_HEIGHT, &size);
    ASSERT_NE(png, nullptr);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    write_file(path, std::string(reinterpret_cast<const char *>(png), size));
    std::free(png);
}

// Compares the canvas with tests/golden/<name>.png, or rewrites that file
// when NUMBRAL_UPDATE_GOLDEN is 1. A differing canvas is kept beside the
// test program for a look.
void expect_golden(const std::string &name) {
    const std::vector<uint8_t> actual = read_target(canvas).bytes;
    const std::string golden = std::string(NUMBRAL_SOURCE_DIR) + "/tests/golden/" + name + ".png";
    const char *update = std::getenv("NUMBRAL_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        write_png(golden, actual);
        std::printf("rewrote %s\n", golden.c_str());
        return;
    }
    const std::string file = read_file(golden);
    const auto *bytes = reinterpret_cast<const uint8_t *>(file.data());
    const PngImage image = png_load_from_memory(bytes, static_cast<int32_t>(file.size()));
    ASSERT_NE(image.pixels, nullptr) << golden << " is missing or broken; NUMBRAL_UPDATE_GOLDEN=1 makes it";
    ASSERT_EQ(image.width * image.height, CANVAS_WIDTH * CANVAS_HEIGHT);
    int differing = 0, first = -1;
    for (int i = 0; i < CANVAS_WIDTH * CANVAS_HEIGHT; ++i) {
        const PngPixel want = image.pixels[i];
        if (std::memcmp(&actual[static_cast<size_t>(i) * 4], &want, 3) != 0 && differing++ == 0) first = i;
    }
    std::free(image.pixels);
    if (differing > 0) {
        const std::string kept = std::string(NUMBRAL_BINARY_DIR) + "/golden-actual/" + name + ".png";
        write_png(kept, actual);
        ADD_FAILURE() << name << ": " << differing << " pixels differ, the first at (" << first % CANVAS_WIDTH
                      << ", " << first / CANVAS_WIDTH << "); the frame drawn is " << kept;
    }
}

class GoldenFrames : public testing::Test {
protected:
    static void SetUpTestSuite() {
        settings_apply_defaults();
        mount_fixture_archive();
        ASSERT_EQ(video_init(), 1);
    }
    static void TearDownTestSuite() {
        app_save_path[0] = '\0';
        unmount_test_archives();
        SDL_Quit();
    }
    void SetUp() override {
        std::snprintf(app_save_path, sizeof app_save_path, "%s", save.file("numbral.save").c_str());
        random_state = 1;
        controls = {};
        paused = false;
        now_ms = 1000;
        frame_clock = {clock_ticks, no_delay};
    }
    TempDir save;
};

}  // namespace

// One run from the opening cutscene into the title level, two levels with
// their HUD and the pause menu; each picture depends on all that came before.
TEST_F(GoldenFrames, MatchTheStoredPictures) {
    main_loop_start();
    frames(1);
    ASSERT_TRUE(cutscene_active);
    expect_golden("cutscene1");

    frames(40);  // the cutscene's two frames end in the title level
    ASSERT_FALSE(cutscene_active);
    ASSERT_EQ(level_state.level, 0);
    expect_golden("title");

    ASSERT_TRUE(load_level(3, 0, false));
    frames(60);  // the fade from black is over, the title shows
    expect_golden("level3");

    ASSERT_TRUE(load_level(4, 0, false));
    frames(20);
    expect_golden("level4_dark");

    controls.pause_requested = true;
    frames(2);  // the menu opens, then draws itself
    ASSERT_TRUE(paused);
    expect_golden("pause");

    // Confirming "Unpause" closes the menu, and the same frame draws play.
    controls.jump = true;
    frames(1);
    EXPECT_FALSE(paused);
    EXPECT_EQ(read_target(canvas).at(1, 3), RED);  // the HUD's health fill
}
