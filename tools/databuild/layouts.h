// What the game expects of the archive: the sprite sheets' layouts, the tiny
// font's widths and the cutscene strips come from the game library itself
// (render/layouts.h), the capacities from the world's tables; the sound
// bank's names are kept here.
#pragma once

#include "audio/mixer.h"
#include "common/screen.h"
#include "render/layouts.h"
#include "world/world.h"

#include <string>

inline const SheetLayout *layout_find(const std::string &name) {
    return layout_find(name.c_str());
}

constexpr int VIEW_WIDTH = CANVAS_WIDTH;
constexpr int VIEW_HEIGHT = CANVAS_HEIGHT;

// The sound bank: the file names under "snd/", without ".ogg".
constexpr int SOUND_COUNT = 22;
const char *sound_name(int index);
bool sound_is_known(const std::string &name);
constexpr int SOUND_RATE = MIXER_FRAMES_PER_SECOND;

// Capacities of the world's tables and of the text files.
constexpr int MAX_DOODADS = DOODAD_CAPACITY;
constexpr int MAX_ENEMIES = ENEMY_CAPACITY;
constexpr int MAX_TRIGGERS = TRIGGER_CAPACITY;
constexpr int MAX_SAVEPOINTS = SAVEPOINT_CAPACITY;
constexpr int MAX_PICKUPS = PICKUP_CAPACITY;
constexpr int MAX_TITLE = TITLE_CAPACITY;
