#include "app/main_loop.h"

#include "app/input.h"
#include "app/pause_menu.h"
#include "app/startup_times.h"
#include "app/video.h"
#include "common/numeric.h"
#include "level/cutscene.h"
#include "player/camera.h"
#include "player/player.h"
#include "render/hud.h"
#include "render/world_render.h"
#include "resources/sprite_sheets.h"
#include "world/world.h"
#include "world/world_update.h"

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

static void clear_target(SDL_Texture *target) {
    SDL_SetRenderTarget(renderer, target);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
}

void main_loop_start() {
    previous_ticks = frame_clock.ticks();
    sprite_sheets_load();
    startup_time_mark(STARTUP_SHEETS_LOADED);
    player.health = 5;
    player.lives = 3;
    cutscene_start(1);
    startup_time_mark(STARTUP_CUTSCENE_STARTED);
}

static void play_step() {
    if (controls.pause_requested) {
        // The frame the menu opens moves nothing but still draws play.
        controls.pause_requested = false;
        pause_menu_open();
        return;
    }
    update_world(dt);
    if (boss.timer == 0.0f) update_player(dt);
    update_camera(dt);
    if (level_state.title_timer > 0.0f) level_state.title_timer -= dt;
}

static void play_drawing() {
    clear_target(level_state.level_texture);
    draw_world();
    clear_target(canvas);
    const SDL_Rect view = {num_round(level_state.camera_x), num_round(level_state.camera_y),
                           level_state.view_width, level_state.view_height};
    const SDL_Rect whole = {0, 0, level_state.view_width, level_state.view_height};
    SDL_RenderCopy(renderer, level_state.level_texture, &view, &whole);
    hud_draw();
}

// Runs the frame's mode; false when no play step follows in this frame.
static bool mode_step() {
    if (cutscene_active) {
        cutscene_update(dt);
        // The pause key does nothing during cutscenes.
        controls.pause_requested = false;
        clear_target(canvas);
        if (cutscene_active) {
            cutscene_draw();
            return false;
        }
        return !paused;
    }
    if (paused) {
        pause_menu_update();
        pause_menu_draw();
        return !cutscene_active && !paused;
    }
    return true;
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
        if (startup_times.ns[STARTUP_FIRST_FRAME] == 0) startup_time_mark(STARTUP_FIRST_FRAME);
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
