// The window, the renderer, the 64 x 36 canvas and the display modes.
#pragma once

#include "common/screen.h"

#include <SDL.h>

constexpr int WINDOW_WIDTH = 640;
constexpr int WINDOW_HEIGHT = 360;


// The primary screen's size, read once at start-up.
extern int screen_width;
extern int screen_height;

// Where the enlarged canvas lies in the fullscreen window; all 0 windowed.
struct DisplayLayout {
    int scaled_width;
    int scaled_height;
    int offset_x;
    int offset_y;
};
extern DisplayLayout display_layout;

// SDL, window, renderer, canvas and the loading screen. 1 on success, 0 on
// failure.
int video_init();

// Fills display_layout from settings.fullscreen and the screen size.
void video_compute_layout();

// Flips settings.fullscreen and applies it to the window. The caller saves.
void video_toggle_fullscreen();

// Enlarges the canvas into the window and presents the frame.
void video_present();
