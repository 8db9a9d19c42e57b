// Enemy behaviours and damage.
#pragma once

#include "world/world.h"

void walker_step(Enemy &enemy, float dt);     // kind 0
void patroller_step(Enemy &enemy, float dt);  // kinds 3 and 4

// One hit: the enemy dies when its health falls below 0.
void damage_enemy(Enemy &enemy);
