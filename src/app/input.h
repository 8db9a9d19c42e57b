// The game's only event pump: keyboard and controller into one record.
#pragma once

#include <SDL.h>

// Held controls, written only by input_poll. Keyboard and controller share
// the fields: releasing either clears a control the other still holds.
struct Controls {
    bool left;
    bool right;
    bool up;
    bool down;
    bool jump;
    bool shoot;
    bool pause_requested;  // one-shot: set on press, cleared by its consumer
    bool right_alt_held;
};

extern Controls controls;
extern bool quit_requested;  // ends the main loop after its next input pump
extern SDL_GameController *game_controller;

// Drains the SDL event queue.
void input_poll();

// Handles one event as input_poll does.
void input_handle_event(const SDL_Event &event);
