#include "app/main_loop.h"

#include "app/input.h"
#include "app/pause_menu.h"
#include "resources/sprite_sheets.h"
#include "app/video.h"
#include "level/cutscene.h"

#include <SDL.h>

static uint32_t sdl_ticks() { return SDL_GetTicks(); }
static void sdl_delay(uint32_t ms) { SDL_Delay(ms); }

FrameClock frame_clock = {sdl_ticks, sdl_delay};
float dt = 0.0f;

// A frame of 100 ms or more is dropped rather than simulated with a large
// step.
static constexpr uint32_t DROP_FRAME_MS = 100;
static constexpr int32_t FRAME_MS = 16;

static uint32_t previous_ticks = 0;

static void clear_canvas() {
    SDL_SetRenderTarget(renderer, canvas);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
}

void main_loop_start() {
    previous_ticks = frame_clock.ticks();
    sprite_sheets_load();
}

static void play_step() {
    if (controls.pause_requested) {
        controls.pause_requested = false;
        pause_menu_open();
    }
}

static void play_drawing() {
    clear_canvas();
}

// Runs the frame's mode; false when no play step follows in this frame.
static bool mode_step() {
    if (cutscene_active) {
        // The pause key does nothing during cutscenes.
        controls.pause_requested = false;
        clear_canvas();
        return !cutscene_active && !paused;
    }
    return !paused;
}

bool main_loop_frame() {
    const uint32_t frame_start = frame_clock.ticks();
    const uint32_t elapsed = frame_start - previous_ticks;  // wraps correctly
    previous_ticks = frame_start;
    dt = static_cast<float>(elapsed) / 1000.0f;

    input_poll();
    if (quit_requested) return false;

    if (elapsed < DROP_FRAME_MS) {
        if (mode_step()) {
            play_step();
            play_drawing();
        }
        video_present();
    }

    const int32_t delay = static_cast<int32_t>(frame_start + FRAME_MS - frame_clock.ticks());
    frame_clock.delay(delay > 0 ? static_cast<uint32_t>(delay) : 0);
    return true;
}

void main_loop() {
    main_loop_start();
    while (main_loop_frame()) {
    }
}
