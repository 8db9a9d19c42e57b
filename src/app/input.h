// The game's only event pump: keyboard and controller into one record.
#pragma once

#include "common/controls.h"

#include <SDL.h>

extern SDL_GameController *game_controller;

// Drains the SDL event queue.
void input_poll();

// Handles one event as input_poll does.
void input_handle_event(const SDL_Event &event);
