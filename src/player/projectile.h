// Shots and death debris: straight flight in eight directions.
#pragma once

#include "player/player.h"

// Moves one projectile, ends it outside the level or at the end of its
// lifetime, and lets a shot hit the first enemy in its way.
void update_projectile(Projectile &projectile, float dt);
