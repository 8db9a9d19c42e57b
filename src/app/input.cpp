#include "app/input.h"

#include "common/screen.h"
#include "common/settings.h"
#include "app/screenshot.h"
#include "app/video.h"

SDL_GameController *game_controller = nullptr;

// The control a key or button holds, or null when it holds none.
static bool *held_control_for_key(SDL_Keycode key) {
    switch (key) {
    case SDLK_w: case SDLK_UP: return &controls.up;
    case SDLK_s: case SDLK_DOWN: return &controls.down;
    case SDLK_a: case SDLK_LEFT: return &controls.left;
    case SDLK_d: case SDLK_RIGHT: return &controls.right;
    case SDLK_LSHIFT: return &controls.jump;
    case SDLK_SPACE: return &controls.shoot;
    case SDLK_RALT: return &controls.right_alt_held;
    default: return nullptr;
    }
}

static bool *held_control_for_button(Uint8 button) {
    switch (button) {
    case SDL_CONTROLLER_BUTTON_A: return &controls.jump;
    case SDL_CONTROLLER_BUTTON_B: case SDL_CONTROLLER_BUTTON_X: return &controls.shoot;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return &controls.up;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return &controls.down;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return &controls.left;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return &controls.right;
    default: return nullptr;
    }
}

static void switch_display_and_save() {
    video_toggle_fullscreen();
    settings_save();
}

static void handle_key(SDL_Keycode key, bool pressed) {
    if (bool *control = held_control_for_key(key)) {
        *control = pressed;
    } else if (key == SDLK_ESCAPE) {
        if (pressed) controls.pause_requested = true;
    } else if (key == SDLK_RETURN) {
        if (pressed && controls.right_alt_held) switch_display_and_save();
    } else if (key == SDLK_F11) {
        if (!pressed) switch_display_and_save();
    }
}

static void handle_button(Uint8 button, bool pressed) {
    if (bool *control = held_control_for_button(button)) {
        *control = pressed;
    } else if (button == SDL_CONTROLLER_BUTTON_START && pressed) {
        controls.pause_requested = true;
    }
}

void input_handle_event(const SDL_Event &event) {
    switch (event.type) {
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) quit_requested = true;
        break;
    case SDL_KEYDOWN:
        // A held F12 takes one picture, not one per key repeat.
        if (event.key.keysym.sym == SDLK_F12 && !event.key.repeat) screenshot_take();
        handle_key(event.key.keysym.sym, true);
        break;
    case SDL_KEYUP: handle_key(event.key.keysym.sym, false); break;
    case SDL_CONTROLLERBUTTONDOWN: handle_button(event.cbutton.button, true); break;
    case SDL_CONTROLLERBUTTONUP: handle_button(event.cbutton.button, false); break;
    case SDL_CONTROLLERDEVICEADDED:
        // Whatever device the event names, the game takes device 0: one
        // player, one pad. An earlier handle is replaced without being
        // closed.
        if (SDL_IsGameController(0)) game_controller = SDL_GameControllerOpen(0);
        break;
    case SDL_CONTROLLERDEVICEREMOVED:
        if (game_controller) {
            SDL_GameControllerClose(game_controller);
            game_controller = nullptr;
        }
        break;
    default: break;
    }
}

void input_poll() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) input_handle_event(event);
}

bool input_push_key(SDL_Keycode code, bool down) {
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.type = event.type;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.windowID = window ? SDL_GetWindowID(window) : 0;
    event.key.keysym.sym = code;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(code);
    return SDL_PushEvent(&event) == 1;
}
