// Drawing the moving things of the world into the level texture: effects,
// enemies, the player with its shots and death debris.
#pragma once

#include "player/player.h"
#include "world/world.h"

#include <SDL.h>

// One active effect: a sprite from the effects sheet or two fading pixels.
// Types without a picture draw nothing.
void draw_effect(const Effect &effect);

// One active enemy: kind 0 a red pixel, kinds 3 and 4 sprites that blink
// black while hurt; other kinds draw nothing.
void draw_enemy(const Enemy &enemy);

// The player as its state shows it, or its debris when dead, and its shots.
void draw_player();

// One of the player's shots, clipped so that it grows out of the gun.
void draw_shot(Projectile shot);

// Copies the source rectangle of the sheet mirrored left to right, as
// SDL_RenderCopyEx with SDL_FLIP_HORIZONTAL does, but without its cost: the
// software renderer makes temporary surfaces for every flipped copy, so a
// play frame would allocate. An unscaled copy from inside the sheet goes
// column by column; any other goes through SDL_RenderCopyEx.
void render_copy_mirrored(SDL_Texture *sheet, const SDL_Rect &source, const SDL_Rect &destination);
