// The held controls and the quit request: written by the input pump, read by
// the player, the cutscenes and the pause menu.
#pragma once

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
