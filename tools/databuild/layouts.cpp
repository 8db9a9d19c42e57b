#include "layouts.h"

#include <cstring>

static const SheetSlot UI_SLOTS[] = {
    {"healthbar", 0, 0, 14, 1, 1},
    {"healthfill", 0, 1, 14, 1, 1},
    {"lifepip", 0, 2, 2, 1, 1},
};

// Enemies are named after their kind in the level files (enemy:2 and
// enemy:3); enemy:0 is a single pixel and enemy:1 is invisible.
static const SheetSlot ENEMY_SLOTS[] = {
    {"enemy2", 0, 0, 7, 6, 19},
    {"enemy3", 0, 6, 12, 12, 6},
    {"enemy3_turn", 0, 18, 12, 12, 7},
};

static const SheetSlot EFFECT_SLOTS[] = {
    {"jump_puff", 0, 0, 3, 3, 7},
    {"land_puff", 0, 3, 3, 3, 7},
    {"dash_start", 0, 12, 4, 3, 10},
    {"stomp_impact", 0, 15, 7, 7, 10},
    {"muzzle_flash", 0, 22, 3, 1, 6},
    {"burst", 0, 28, 7, 7, 15},
    {"darkness", 0, 35, 140, 100, 1},
    {"darkness_flicker", 0, 135, 140, 100, 1},
};

static const SheetSlot PICKUP_SLOTS[] = {
    {"ability", 0, 0, 8, 11, 12},
};

static const SheetSlot PROJECTILE_SLOTS[] = {
    {"shot", 0, 0, 4, 1, 4},
    {"shot_up", 0, 1, 1, 4, 4},
};

static const SheetSlot DOODAD_SLOTS[] = {
    {"doodad0", 0, 0, 6, 2, 1},
    {"doodad1", 0, 2, 22, 18, 3},
    {"doodad2", 0, 20, 9, 5, 4},
    {"doodad3", 0, 25, 15, 13, 1},
    {"doodad4", 0, 38, 26, 14, 1},
    {"doodad5", 0, 52, 33, 12, 1},
    {"savepoint_lit", 0, 64, 4, 4, 7},
    {"savepoint", 0, 68, 4, 4, 4},
    {"doodad6", 0, 72, 6, 6, 1},
    {"doodad7", 0, 78, 11, 6, 1},
    {"doodad8", 0, 84, 12, 12, 1},
    {"doodad9", 0, 96, 12, 6, 1},
};

static const SheetSlot BOSS_SLOTS[] = {
    {"boss", 0, 0, 45, 36, 8},
};

#define LAYOUT(name, w, h, slots) {name, w, h, slots, static_cast<int>(sizeof slots / sizeof slots[0])}
static const SheetLayout LAYOUTS[] = {
    LAYOUT("ui", 14, 3, UI_SLOTS),
    LAYOUT("enemies", 133, 30, ENEMY_SLOTS),
    LAYOUT("effects", 140, 235, EFFECT_SLOTS),
    LAYOUT("pickups", 96, 11, PICKUP_SLOTS),
    LAYOUT("projectiles", 16, 5, PROJECTILE_SLOTS),
    LAYOUT("doodads", 66, 102, DOODAD_SLOTS),
    LAYOUT("boss", 360, 36, BOSS_SLOTS),
};
#undef LAYOUT

const SheetLayout *layout_find(const std::string &name) {
    for (const SheetLayout &layout : LAYOUTS) {
        if (name == layout.name) return &layout;
    }
    return nullptr;
}

int layout_count() {
    return static_cast<int>(sizeof LAYOUTS / sizeof LAYOUTS[0]);
}

const SheetLayout *layout_at(int index) {
    return index >= 0 && index < layout_count() ? &LAYOUTS[index] : nullptr;
}

static const unsigned char FONT_WIDTHS[FONT_GLYPHS] = {
    3, 3, 5, 7, 6, 5, 7, 3, 4, 4, 5, 5, 4, 5, 3, 5,  // 32
    6, 4, 6, 6, 6, 6, 6, 6, 6, 6, 3, 4, 4, 6, 4, 6,  // 48
    9, 6, 6, 5, 6, 5, 5, 6, 6, 5, 6, 6, 5, 7, 6, 6,  // 64
    6, 6, 6, 6, 5, 6, 6, 7, 6, 6, 5, 4, 5, 4, 5, 7,  // 80
    4, 6, 6, 5, 6, 6, 5, 6, 6, 3, 4, 6, 3, 7, 6, 6,  // 96
    6, 6, 5, 6, 5, 6, 6, 7, 5, 6, 6, 5, 3, 5, 7, 0,  // 112
};

int font_width(int code) {
    if (code < FONT_FIRST_CODE || code >= FONT_FIRST_CODE + FONT_GLYPHS) return 0;
    return FONT_WIDTHS[code - FONT_FIRST_CODE];
}

int font_left_x(int code) {
    int x = 0;
    for (int c = FONT_FIRST_CODE; c < code && c < FONT_FIRST_CODE + FONT_GLYPHS; ++c) x += font_width(c) + 1;
    return x;
}

// In the order the game loads them.
static const char *const SOUND_NAMES[SOUND_COUNT] = {
    "shoot0",          "jump0",           "dash0",        "land0",         "enemy_hurt",   "boss_roar",
    "player_hurt",     "player_die",      "elevatorloop", "checkpoint",    "explosion_large",
    "explosion_small", "secret_found",    "stomp_charge", "stomp_land",    "music0",       "music1",
    "music2",          "musicboss",       "cutscene1",    "cutscene2",     "cutscene5",
};

const char *sound_name(int index) {
    return index >= 0 && index < SOUND_COUNT ? SOUND_NAMES[index] : nullptr;
}

bool sound_is_known(const std::string &name) {
    for (const char *known : SOUND_NAMES) {
        if (name == known) return true;
    }
    return false;
}
