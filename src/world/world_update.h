// The per-frame update of everything in the level but the player, the
// camera and the shots.
#pragma once

#include "world/world.h"

#include <cstdint>

void update_world(float dt);

// One doodad's animation and elevator travel; index is its table index.
void doodad_step(Doodad &doodad, float dt, int32_t index);
