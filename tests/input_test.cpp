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

// The display mode after each key event: Return alone, with Left Alt, or
// released does nothing; each delivered Return press while Right Alt is held
// switches, key repeats included, and saves.
TEST_F(InputTest, ReturnSwitchesTheDisplayOnlyWhileRightAltIsHeld) {
    struct Step { Uint32 type; int key; bool fullscreen; };
    const Uint32 D = SDL_KEYDOWN, U = SDL_KEYUP;
    const Step steps[] = {
        {D, SDLK_RETURN, false}, {U, SDLK_RETURN, false},
        {D, SDLK_LALT, false}, {D, SDLK_RETURN, false}, {U, SDLK_LALT, false},
        {D, SDLK_RALT, false}, {D, SDLK_RETURN, true}, {U, SDLK_RETURN, true},
        {D, SDLK_RETURN, false}, {D, SDLK_RETURN, true},  // a key repeat
        {U, SDLK_RALT, true}, {D, SDLK_RETURN, true},
    };
    int step = 0;
    for (const Step &s : steps) {
        deliver(s.type, s.key);
        EXPECT_EQ(settings.fullscreen, s.fullscreen) << "step " << step;
        if (path_exists(app_save_path)) {
            const std::string stored = s.fullscreen ? "fullscreen:1\n" : "fullscreen:0\n";
            EXPECT_NE(read_file(app_save_path).find(stored), std::string::npos) << "step " << step;
        }
        ++step;
    }
}

// A controller plugged in opens device 0, whatever device the event names;
// any unplug closes the held controller.
TEST_F(InputTest, AHotPlugOpensDeviceZero) {
    const auto held = [] {
        return game_controller ? SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(game_controller)) : -1;
    };
    const int first = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
    ASSERT_EQ(first, 0) << SDL_GetError();
    const SDL_JoystickID first_id = SDL_JoystickGetDeviceInstanceID(first);
    input_poll();
    EXPECT_EQ(held(), first_id);

    const int second = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
    ASSERT_EQ(second, 1) << SDL_GetError();
    input_poll();
    EXPECT_EQ(held(), first_id);  // the event named device 1

    SDL_JoystickDetachVirtual(second);
    input_poll();
    EXPECT_EQ(game_controller, nullptr);
    SDL_JoystickDetachVirtual(0);
    input_poll();
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
