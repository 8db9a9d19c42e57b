// The shared sprite sheets, loaded once when the main loop starts and kept
// for the whole run. An empty handle draws nothing.
#pragma once

#include <SDL.h>

extern SDL_Texture *ui_texture;
extern SDL_Texture *enemies_texture;
// The enemy sheet again, multiplied to black for the hit blink, for the same
// reason as the darkness's copy below.
extern SDL_Texture *enemies_blink_texture;
extern SDL_Texture *effects_texture;
// The effects sheet again, for the darkness alone: its alpha stays below 255,
// so neither copy's blending changes from frame to frame, and the software
// renderer keeps its blit mapping instead of rebuilding it twice a frame.
extern SDL_Texture *darkness_texture;
extern SDL_Texture *pickups_texture;
extern SDL_Texture *projectiles_texture;
extern SDL_Texture *doodads_texture;
extern SDL_Texture *boss_texture;

// Loads every sheet; a missing one leaves its handle empty. The boss sheet
// is loaded only when the doodad sheet loaded.
void sprite_sheets_load();

// Makes a sheet draw its pictures' shapes in black over what lies below.
void sprite_sheets_make_silhouette(SDL_Texture *sheet);
