// The game's only event pump: keyboard and controller into one record.
#pragma once

#include "common/controls.h"

#include <SDL.h>

extern SDL_GameController *game_controller;

// Drains the SDL event queue.
void input_poll();

// Handles one event as input_poll does.
void input_handle_event(const SDL_Event &event);

// Queues a key press or release as the keyboard would send it to the game's
// window, for the script runner and the benchmarks; false when SDL's queue
// refuses it.
bool input_push_key(SDL_Keycode code, bool down);
