#include "player/player.h"

#include "common/numeric.h"

Player player = {};

int32_t player_point_x() { return num_round(player.x); }
int32_t player_point_y() { return num_round(player.y); }
