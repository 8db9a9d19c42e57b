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

const Uint32 KEY = SDL_KEYDOWN, KEY_UP = SDL_KEYUP;
const Uint32 BUTTON = SDL_CONTROLLERBUTTONDOWN, BUTTON_UP = SDL_CONTROLLERBUTTONUP;

}  // namespace

// Keys and buttons without a function hold nothing.
TEST_F(InputTest, KeysAndButtonsHoldTheirControlFromPressToRelease) {
    bool Controls::*const held[] = {&Controls::left, &Controls::right, &Controls::up, &Controls::down,
                                    &Controls::jump, &Controls::shoot, &Controls::right_alt_held};
    struct Case { Uint32 down; int code; bool Controls::*field; };
    const Case cases[] = {
        {KEY, SDLK_w, &Controls::up}, {KEY, SDLK_UP, &Controls::up}, {KEY, SDLK_s, &Controls::down},
        {KEY, SDLK_DOWN, &Controls::down}, {KEY, SDLK_a, &Controls::left}, {KEY, SDLK_LEFT, &Controls::left},
        {KEY, SDLK_d, &Controls::right}, {KEY, SDLK_RIGHT, &Controls::right},
        {KEY, SDLK_LSHIFT, &Controls::jump}, {KEY, SDLK_SPACE, &Controls::shoot},
        {KEY, SDLK_RALT, &Controls::right_alt_held}, {BUTTON, SDL_CONTROLLER_BUTTON_A, &Controls::jump},
        {BUTTON, SDL_CONTROLLER_BUTTON_B, &Controls::shoot}, {BUTTON, SDL_CONTROLLER_BUTTON_X, &Controls::shoot},
        {BUTTON, SDL_CONTROLLER_BUTTON_DPAD_UP, &Controls::up},
        {BUTTON, SDL_CONTROLLER_BUTTON_DPAD_DOWN, &Controls::down},
        {BUTTON, SDL_CONTROLLER_BUTTON_DPAD_LEFT, &Controls::left},
        {BUTTON, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, &Controls::right},
        {KEY, SDLK_LALT, nullptr}, {KEY, SDLK_RSHIFT, nullptr}, {KEY, SDLK_LCTRL, nullptr},
        {BUTTON, SDL_CONTROLLER_BUTTON_Y, nullptr}, {BUTTON, SDL_CONTROLLER_BUTTON_BACK, nullptr},
    };
    for (const Case &c : cases) {
        deliver(c.down, c.code);
        for (bool Controls::*field : held) EXPECT_EQ(controls.*field, field == c.field) << c.code;
        deliver(c.down == KEY ? KEY_UP : BUTTON_UP, c.code);
        for (bool Controls::*field : held) EXPECT_FALSE(controls.*field) << c.code;
    }
    EXPECT_FALSE(controls.pause_requested);
}

TEST_F(InputTest, PauseIsAOneShotRequestThatOnlyItsConsumerClears) {
    deliver(KEY, SDLK_ESCAPE);
    deliver(KEY_UP, SDLK_ESCAPE);
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;  // consumed
    deliver(KEY, SDLK_ESCAPE);  // a key repeat asks again
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;
    deliver(BUTTON, SDL_CONTROLLER_BUTTON_START);
    EXPECT_TRUE(controls.pause_requested);
}

// The display mode after each key event: F11 switches on release; Return
// alone, with Left Alt, or released does nothing; each delivered Return
// press while Right Alt is held switches, key repeats included. Each switch
// saves.
TEST_F(InputTest, F11AndRightAltReturnSwitchTheDisplayAndSave) {
    struct Step { Uint32 type; int key; bool fullscreen; };
    const Step steps[] = {
        {KEY, SDLK_F11, false}, {KEY_UP, SDLK_F11, true}, {KEY_UP, SDLK_F11, false},
        {KEY, SDLK_RETURN, false}, {KEY_UP, SDLK_RETURN, false},
        {KEY, SDLK_LALT, false}, {KEY, SDLK_RETURN, false}, {KEY_UP, SDLK_LALT, false},
        {KEY, SDLK_RALT, false}, {KEY, SDLK_RETURN, true}, {KEY_UP, SDLK_RETURN, true},
        {KEY, SDLK_RETURN, false}, {KEY, SDLK_RETURN, true},  // a key repeat
        {KEY_UP, SDLK_RALT, true}, {KEY, SDLK_RETURN, true},
    };
    for (size_t step = 0; step < std::size(steps); ++step) {
        deliver(steps[step].type, steps[step].key);
        EXPECT_EQ(settings.fullscreen, steps[step].fullscreen) << "step " << step;
        EXPECT_EQ(read_file(app_save_path).find(steps[step].fullscreen ? "fullscreen:1\n" : "fullscreen:0\n") !=
                      std::string::npos,
                  step > 0) << "step " << step;
    }
}

// A controller plugged in opens device 0, whatever device the event names;
// any unplug closes the held controller.
TEST_F(InputTest, AHotPlugOpensDeviceZero) {
    const auto held = [] {
        return game_controller ? SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(game_controller)) : -1;
    };
    ASSERT_EQ(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1), 0) << SDL_GetError();
    const SDL_JoystickID first_id = SDL_JoystickGetDeviceInstanceID(0);
    input_poll();
    EXPECT_EQ(held(), first_id);
    ASSERT_EQ(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1), 1) << SDL_GetError();
    input_poll();
    EXPECT_EQ(held(), first_id);  // the event named device 1
    SDL_JoystickDetachVirtual(1);
    input_poll();
    EXPECT_EQ(game_controller, nullptr);
    SDL_JoystickDetachVirtual(0);
    input_poll();
}

// Releasing a key releases its control although a button still holds it;
// unplugging the controller keeps a held direction. Only closing the window
// requests a quit.
TEST_F(InputTest, KeyboardAndControllerShareEachControlAndOnlyTheCloseButtonQuits) {
    deliver(KEY, SDLK_LSHIFT);
    deliver(BUTTON, SDL_CONTROLLER_BUTTON_A);
    deliver(KEY_UP, SDLK_LSHIFT);
    EXPECT_FALSE(controls.jump);
    deliver(BUTTON, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    deliver(SDL_CONTROLLERDEVICEREMOVED);
    EXPECT_TRUE(controls.left);

    deliver(SDL_QUIT);
    deliver(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MOVED);
    EXPECT_FALSE(quit_requested);
    deliver(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
    EXPECT_TRUE(quit_requested);
}
