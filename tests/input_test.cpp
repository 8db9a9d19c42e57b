#include "app/app.h"
#include "app/input.h"
#include "common/settings.h"
#include "app/video.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class InputTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(video_init(), 1); }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override {
        controls = {};
        quit_requested = false;
        settings_apply_defaults();
        std::snprintf(app_save_path, sizeof app_save_path, "%s", save_dir.file("numbral.save").c_str());
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        if (settings.fullscreen) video_toggle_fullscreen();
    }
    TempDir save_dir;
};

// Pushes one event and runs the input pump over it.
void deliver(Uint32 type, int code = 0) {
    push_test_event(type, code);
    input_poll();
}

bool Controls::*const HELD_FIELDS[] = {&Controls::left, &Controls::right, &Controls::up, &Controls::down,
                                       &Controls::jump, &Controls::shoot, &Controls::right_alt_held};

}  // namespace

TEST_F(InputTest, KeysAndButtonsHoldTheirControlFromPressToRelease) {
    struct Case { Uint32 down, up; int code; bool Controls::*field; };
    const Uint32 K = SDL_KEYDOWN, KU = SDL_KEYUP, B = SDL_CONTROLLERBUTTONDOWN, BU = SDL_CONTROLLERBUTTONUP;
    const Case cases[] = {
        {K, KU, SDLK_w, &Controls::up}, {K, KU, SDLK_UP, &Controls::up}, {K, KU, SDLK_s, &Controls::down},
        {K, KU, SDLK_DOWN, &Controls::down}, {K, KU, SDLK_a, &Controls::left}, {K, KU, SDLK_LEFT, &Controls::left},
        {K, KU, SDLK_d, &Controls::right}, {K, KU, SDLK_RIGHT, &Controls::right},
        {K, KU, SDLK_LSHIFT, &Controls::jump}, {K, KU, SDLK_SPACE, &Controls::shoot},
        {K, KU, SDLK_RALT, &Controls::right_alt_held},
        {B, BU, SDL_CONTROLLER_BUTTON_A, &Controls::jump}, {B, BU, SDL_CONTROLLER_BUTTON_B, &Controls::shoot},
        {B, BU, SDL_CONTROLLER_BUTTON_X, &Controls::shoot}, {B, BU, SDL_CONTROLLER_BUTTON_DPAD_UP, &Controls::up},
        {B, BU, SDL_CONTROLLER_BUTTON_DPAD_DOWN, &Controls::down},
        {B, BU, SDL_CONTROLLER_BUTTON_DPAD_LEFT, &Controls::left},
        {B, BU, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, &Controls::right},
        // Keys and buttons without a function hold nothing.
        {K, KU, SDLK_LALT, nullptr}, {K, KU, SDLK_RSHIFT, nullptr}, {K, KU, SDLK_LCTRL, nullptr},
        {B, BU, SDL_CONTROLLER_BUTTON_Y, nullptr}, {B, BU, SDL_CONTROLLER_BUTTON_BACK, nullptr},
    };
    for (const Case &c : cases) {
        deliver(c.down, c.code);
        for (bool Controls::*field : HELD_FIELDS) EXPECT_EQ(controls.*field, field == c.field) << c.code;
        deliver(c.up, c.code);
        for (bool Controls::*field : HELD_FIELDS) EXPECT_FALSE(controls.*field) << c.code;
    }
    EXPECT_FALSE(controls.pause_requested);
}

TEST_F(InputTest, PauseIsAOneShotRequestThatOnlyItsConsumerClears) {
    deliver(SDL_KEYDOWN, SDLK_ESCAPE);
    deliver(SDL_KEYUP, SDLK_ESCAPE);
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;  // consumed
    deliver(SDL_KEYDOWN, SDLK_ESCAPE);  // a key repeat asks again
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;
    deliver(SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_START);
    EXPECT_TRUE(controls.pause_requested);
}

TEST_F(InputTest, F11SwitchesTheDisplayOnReleaseAndSaves) {
    deliver(SDL_KEYDOWN, SDLK_F11);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_FALSE(path_exists(app_save_path));
    deliver(SDL_KEYUP, SDLK_F11);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_NE(read_file(app_save_path).find("fullscreen:1\n"), std::string::npos);
}

TEST_F(InputTest, ReturnSwitchesTheDisplayOnlyWhileRightAltIsHeld) {
    deliver(SDL_KEYDOWN, SDLK_RETURN);
    deliver(SDL_KEYDOWN, SDLK_LALT);
    deliver(SDL_KEYDOWN, SDLK_RETURN);
    EXPECT_FALSE(settings.fullscreen);

    deliver(SDL_KEYDOWN, SDLK_RALT);
    deliver(SDL_KEYDOWN, SDLK_RETURN);
    EXPECT_TRUE(settings.fullscreen);
    deliver(SDL_KEYDOWN, SDLK_RETURN);  // key repeat
    deliver(SDL_KEYUP, SDLK_RETURN);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_NE(read_file(app_save_path).find("fullscreen:0\n"), std::string::npos);
}

TEST_F(InputTest, KeyboardAndControllerShareEachControl) {
    deliver(SDL_KEYDOWN, SDLK_LSHIFT);
    deliver(SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_A);
    deliver(SDL_KEYUP, SDLK_LSHIFT);
    EXPECT_FALSE(controls.jump);  // although A is still held

    // Unplugging the controller keeps a held direction.
    deliver(SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    deliver(SDL_CONTROLLERDEVICEREMOVED);
    EXPECT_TRUE(controls.left);
}

TEST_F(InputTest, OnlyClosingTheWindowRequestsAQuit) {
    deliver(SDL_QUIT);
    deliver(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MOVED);
    EXPECT_FALSE(quit_requested);
    deliver(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
    EXPECT_TRUE(quit_requested);
}
