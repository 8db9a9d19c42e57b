#include "render/layouts.h"

#include <cstring>

static const SheetSlot UI_SLOTS[] = {UI_HEALTH_BAR, UI_HEALTH_FILL, UI_LIFE_PIP};

static const SheetSlot ENEMY_SLOTS[] = {ENEMY_SMALL_WALK, ENEMY_LARGE_WALK, ENEMY_LARGE_TURN};

static const SheetSlot EFFECT_SLOTS[] = {
    EFFECT_JUMP_PUFF, EFFECT_LAND_PUFF, EFFECT_DASH_START, EFFECT_STOMP_IMPACT,
    EFFECT_MUZZLE_FLASH, EFFECT_BURST, EFFECT_DARKNESS, EFFECT_DARKNESS_FLICKER,
};

static const SheetSlot PICKUP_SLOTS[] = {PICKUP_ABILITY};

static const SheetSlot PROJECTILE_SLOTS[] = {SHOT_LYING, SHOT_STANDING};

// The doodad types 0..9 by sheet row; the save points sit between types 5
// and 6.
static const SheetSlot DOODAD_SLOTS[] = {
    {"doodad0", 0, 0, 6, 2, 1},    {"doodad1", 0, 2, 22, 18, 3}, {"doodad2", 0, 20, 9, 5, 4},
    {"doodad3", 0, 25, 15, 13, 1}, {"doodad4", 0, 38, 26, 14, 1}, {"doodad5", 0, 52, 33, 12, 1},
    SAVEPOINT_LIT,                 SAVEPOINT_UNLIT,               {"doodad6", 0, 72, 6, 6, 1},
    {"doodad7", 0, 78, 11, 6, 1},  {"doodad8", 0, 84, 12, 12, 1}, {"doodad9", 0, 96, 12, 6, 1},
};

static const SheetSlot BOSS_SLOTS[] = {BOSS_FRAMES};

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

const SheetLayout *layout_find(const char *name) {
    for (const SheetLayout &layout : LAYOUTS) {
        if (std::strcmp(name, layout.name) == 0) return &layout;
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
