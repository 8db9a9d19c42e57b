#include "app/app.h"
#include "app/input.h"
#include "app/settings.h"
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

void push_key(SDL_Keycode key, bool down) {
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void push_button(SDL_GameControllerButton button, bool down) {
    SDL_Event event = {};
    event.type = down ? SDL_CONTROLLERBUTTONDOWN : SDL_CONTROLLERBUTTONUP;
    event.cbutton.button = static_cast<Uint8>(button);
    SDL_PushEvent(&event);
}

void press_and_poll(SDL_Keycode key, bool down) {
    push_key(key, down);
    input_poll();
}

bool Controls::*const HELD_FIELDS[] = {&Controls::left, &Controls::right, &Controls::up,
                                       &Controls::down, &Controls::jump, &Controls::shoot,
                                       &Controls::right_alt_held};

}  // namespace

TEST_F(InputTest, KeysHoldTheirControlFromPressToRelease) {
    struct Case { SDL_Keycode key; bool Controls::*field; };
    const Case cases[] = {
        {SDLK_w, &Controls::up}, {SDLK_UP, &Controls::up}, {SDLK_s, &Controls::down},
        {SDLK_DOWN, &Controls::down}, {SDLK_a, &Controls::left}, {SDLK_LEFT, &Controls::left},
        {SDLK_d, &Controls::right}, {SDLK_RIGHT, &Controls::right}, {SDLK_LSHIFT, &Controls::jump},
        {SDLK_SPACE, &Controls::shoot}, {SDLK_RALT, &Controls::right_alt_held},
    };
    for (const Case &c : cases) {
        press_and_poll(c.key, true);
        for (bool Controls::*field : HELD_FIELDS) {
            EXPECT_EQ(controls.*field, field == c.field) << SDL_GetKeyName(c.key);
        }
        press_and_poll(c.key, false);
        EXPECT_FALSE(controls.*c.field) << SDL_GetKeyName(c.key);
    }
}

TEST_F(InputTest, KeysWithoutAFunctionChangeNothing) {
    for (SDL_Keycode key : {SDLK_LALT, SDLK_RSHIFT, SDLK_LCTRL, SDLK_RCTRL, SDLK_q, SDLK_RETURN}) {
        press_and_poll(key, true);
        press_and_poll(key, false);
    }
    for (bool Controls::*field : HELD_FIELDS) EXPECT_FALSE(controls.*field);
    EXPECT_FALSE(controls.pause_requested);
    EXPECT_FALSE(settings.fullscreen);
}

TEST_F(InputTest, ButtonsHoldTheirControlFromPressToRelease) {
    struct Case { SDL_GameControllerButton button; bool Controls::*field; };
    const Case cases[] = {
        {SDL_CONTROLLER_BUTTON_A, &Controls::jump}, {SDL_CONTROLLER_BUTTON_B, &Controls::shoot},
        {SDL_CONTROLLER_BUTTON_X, &Controls::shoot}, {SDL_CONTROLLER_BUTTON_DPAD_UP, &Controls::up},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, &Controls::down}, {SDL_CONTROLLER_BUTTON_DPAD_LEFT, &Controls::left},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, &Controls::right},
    };
    for (const Case &c : cases) {
        push_button(c.button, true);
        input_poll();
        for (bool Controls::*field : HELD_FIELDS) EXPECT_EQ(controls.*field, field == c.field) << c.button;
        push_button(c.button, false);
        input_poll();
        EXPECT_FALSE(controls.*c.field) << c.button;
    }
    push_button(SDL_CONTROLLER_BUTTON_Y, true);
    push_button(SDL_CONTROLLER_BUTTON_BACK, true);
    input_poll();
    for (bool Controls::*field : HELD_FIELDS) EXPECT_FALSE(controls.*field);
}

TEST_F(InputTest, PauseIsAOneShotRequestThatOnlyItsConsumerClears) {
    press_and_poll(SDLK_ESCAPE, true);
    EXPECT_TRUE(controls.pause_requested);
    press_and_poll(SDLK_ESCAPE, false);
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;  // consumed
    push_key(SDLK_ESCAPE, true);       // a key repeat asks again
    input_poll();
    EXPECT_TRUE(controls.pause_requested);
    controls.pause_requested = false;
    push_button(SDL_CONTROLLER_BUTTON_START, true);
    push_button(SDL_CONTROLLER_BUTTON_START, false);
    input_poll();
    EXPECT_TRUE(controls.pause_requested);
}

TEST_F(InputTest, F11SwitchesTheDisplayOnReleaseAndSaves) {
    press_and_poll(SDLK_F11, true);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_FALSE(path_exists(app_save_path));
    press_and_poll(SDLK_F11, false);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_NE(read_file(app_save_path).find("fullscreen:1\n"), std::string::npos);
}

TEST_F(InputTest, RightAltAndReturnSwitchOncePerReturnPress) {
    press_and_poll(SDLK_RETURN, true);
    EXPECT_FALSE(settings.fullscreen);
    press_and_poll(SDLK_LALT, true);
    press_and_poll(SDLK_RETURN, true);
    EXPECT_FALSE(settings.fullscreen);

    press_and_poll(SDLK_RALT, true);
    press_and_poll(SDLK_RETURN, true);
    EXPECT_TRUE(settings.fullscreen);
    press_and_poll(SDLK_RETURN, true);  // key repeat
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_NE(read_file(app_save_path).find("fullscreen:0\n"), std::string::npos);
    press_and_poll(SDLK_RETURN, false);
    EXPECT_FALSE(settings.fullscreen);
}

TEST_F(InputTest, KeyboardAndControllerShareEachControl) {
    press_and_poll(SDLK_LSHIFT, true);
    push_button(SDL_CONTROLLER_BUTTON_A, true);
    input_poll();
    press_and_poll(SDLK_LSHIFT, false);
    EXPECT_FALSE(controls.jump);  // although A is still held
}

TEST_F(InputTest, ClosingTheWindowRequestsAQuitAndOtherEventsDoNot) {
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    SDL_Event moved = {};
    moved.type = SDL_WINDOWEVENT;
    moved.window.event = SDL_WINDOWEVENT_MOVED;
    SDL_PushEvent(&moved);
    input_poll();
    EXPECT_FALSE(quit_requested);

    SDL_Event close = {};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    input_poll();
    EXPECT_TRUE(quit_requested);
}

TEST_F(InputTest, UnpluggingAControllerKeepsItsHeldDirection) {
    push_button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    SDL_Event removed = {};
    removed.type = SDL_CONTROLLERDEVICEREMOVED;
    SDL_PushEvent(&removed);
    input_poll();
    EXPECT_TRUE(controls.left);
    EXPECT_EQ(game_controller, nullptr);
}
