// The pause menu: "Unpause", "Vol", "Fullscreen" and "Exit" on a black
// screen. The main loop opens the menu; the menu closes itself.
#pragma once

extern bool paused;       // the menu is open
extern int menu_cursor;   // 1 "Unpause", 2 "Vol", 3 "Fullscreen", 4 "Exit"
extern bool menu_armed;   // the menu takes a new input only while set

// Opens the menu on "Unpause", ready for input.
void pause_menu_open();

// One frame of menu input. A held control counts once: after each accepted
// input the menu waits until every control is released.
void pause_menu_update();

// Draws the menu into the canvas.
void pause_menu_draw();

// The volume the menu shows and steps from: the stored volume held within
// 0..1 (a hand-edited file may hold more, or infinity).
float pause_menu_shown_volume();
