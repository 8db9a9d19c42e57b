#include "render/layouts.h"

#include "world/world.h"

#include <cstring>

static const SheetSlot UI_SLOTS[] = {UI_HEALTH_BAR, UI_HEALTH_FILL, UI_LIFE_PIP};

static const SheetSlot ENEMY_SLOTS[] = {ENEMY_SMALL_WALK, ENEMY_LARGE_WALK, ENEMY_LARGE_TURN};

static const SheetSlot EFFECT_SLOTS[] = {
    EFFECT_JUMP_PUFF, EFFECT_LAND_PUFF, EFFECT_DASH_START, EFFECT_STOMP_IMPACT,
    EFFECT_MUZZLE_FLASH, EFFECT_BURST, EFFECT_DARKNESS, EFFECT_DARKNESS_FLICKER,
};

static const SheetSlot PICKUP_SLOTS[] = {PICKUP_ABILITY};

static const SheetSlot PROJECTILE_SLOTS[] = {SHOT_LYING, SHOT_STANDING};

// The doodad types 0..9 by sheet row, from the world's own table; the save
// points sit between types 5 and 6.
#define DOODAD_SLOT(type)                                                                    \
    {"doodad" #type, 0, DOODAD_SHAPES[type].sheet_y, DOODAD_SHAPES[type].width,              \
     DOODAD_SHAPES[type].height, DOODAD_SHAPES[type].frames}
static const SheetSlot DOODAD_SLOTS[] = {
    DOODAD_SLOT(0), DOODAD_SLOT(1),  DOODAD_SLOT(2),   DOODAD_SLOT(3), DOODAD_SLOT(4), DOODAD_SLOT(5),
    SAVEPOINT_LIT,  SAVEPOINT_UNLIT, DOODAD_SLOT(6),   DOODAD_SLOT(7), DOODAD_SLOT(8), DOODAD_SLOT(9),
};
#undef DOODAD_SLOT

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
