// Level files, level loading and the trigger commands.
#pragma once

#include "world/world.h"

#include <cstdint>

// Applies one line of a level file to the world tables; the line is cut in
// place. Never fails: unknown keys and short lines are ignored.
void parse_level_line(char *line, int32_t arrival_number, bool arrival_is_savepoint);

// Replaces the current level with "data/level<level>.txt", placing the player
// at the entrance (or save point) arrival_number. False when a layer picture
// or the level texture could not be made.
bool load_level(int32_t level, int32_t arrival_number, bool arrival_is_savepoint);

// The first armed trigger (lowest index) whose rectangle x..x+w-1,
// y..y+h-1 holds the point, or null.
Trigger *trigger_at(int32_t px, int32_t py);

// A new game's progress, in memory only (the file keeps the old game until
// something saves): level 3 from checkpoint 1, the stomp locked.
void progress_start_new_game();

// Runs one trigger's command, disarming it where the command does.
void run_trigger(Trigger &trigger);
