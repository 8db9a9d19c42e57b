// The world renderer: one frame of the running level, drawn in level
// coordinates into the level texture. It reads the world and changes nothing
// in it.
#pragma once

#include "world/world.h"

// Draws the layers, doodads, save points, effects, enemies, the player, the
// closing sequence's boss, the darkness around the player and the pickups,
// in that order, into the current render target (the level texture, cleared
// to black by the caller).
void draw_world();

// One picture layer at its parallax position; a scrolling layer is drawn
// twice, side by side.
void draw_layer(Layer layer);

// The boss's y with seconds_left of the closing sequence: from 127 it rises
// 3.6 pixels a second and stops at 92.
int boss_drawn_y(float seconds_left);
