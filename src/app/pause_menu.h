// The pause menu's state. The main loop opens the menu; the menu closes
// itself.
#pragma once

extern bool paused;       // the menu is open
extern int menu_cursor;   // 1 "Unpause", 2 "Vol", 3 "Fullscreen", 4 "Exit"
extern bool menu_armed;   // the menu takes a new input only while set

// Opens the menu on "Unpause", ready for input.
void pause_menu_open();
