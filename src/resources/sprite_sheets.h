// The shared sprite sheets, loaded once when the main loop starts and kept
// for the whole run. An empty handle draws nothing.
#pragma once

#include <SDL.h>

extern SDL_Texture *ui_texture;
extern SDL_Texture *enemies_texture;
extern SDL_Texture *effects_texture;
extern SDL_Texture *pickups_texture;
extern SDL_Texture *projectiles_texture;
extern SDL_Texture *doodads_texture;
extern SDL_Texture *boss_texture;

// Loads every sheet; a missing one leaves its handle empty. The boss sheet
// is loaded only when the doodad sheet loaded.
void sprite_sheets_load();
