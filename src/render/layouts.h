// What the archive's pictures look like: the sprite sheets' layouts, the tiny
// font's widths and the cutscene strips. The renderer draws by these numbers
// and the data builder checks and lays out the pictures by the same ones, so
// the two cannot disagree.
#pragma once

#include "world/world.h"

// A named run of equal frames in a sheet: frame i lies at
// (x + i * width, y).
struct SheetSlot {
    const char *name;
    int x, y, width, height, frames;
};

struct SheetLayout {
    const char *name;  // the picture is "img/<name>.png"
    int width, height;
    const SheetSlot *slots;
    int slot_count;
};

// "img/ui.png": the empty health bar (its first 2 pixels are an empty life
// slot), the fill and a life pip.
inline constexpr SheetSlot UI_HEALTH_BAR = {"healthbar", 0, 0, 14, 1, 1};
inline constexpr SheetSlot UI_HEALTH_FILL = {"healthfill", 0, 1, 14, 1, 1};
inline constexpr SheetSlot UI_LIFE_PIP = {"lifepip", 0, 2, 2, 1, 1};

// "img/enemies.png", named after the level files' kinds (enemy:2 and enemy:3
// are the game's kinds 3 and 4). The pictures face left.
// Sizes and frame counts come from the enemy table, rows one under another.
inline constexpr EnemyShape SMALL_SHAPE = ENEMY_SHAPES[2];
inline constexpr EnemyShape LARGE_SHAPE = ENEMY_SHAPES[3];
inline constexpr SheetSlot ENEMY_SMALL_WALK = {"enemy2", 0, 0, SMALL_SHAPE.width, SMALL_SHAPE.height,
                                               SMALL_SHAPE.state1_frames};
inline constexpr SheetSlot ENEMY_LARGE_WALK = {"enemy3", 0, SMALL_SHAPE.height, LARGE_SHAPE.width,
                                               LARGE_SHAPE.height, LARGE_SHAPE.state1_frames};
inline constexpr SheetSlot ENEMY_LARGE_TURN = {"enemy3_turn", 0, SMALL_SHAPE.height + LARGE_SHAPE.height,
                                               LARGE_SHAPE.width, LARGE_SHAPE.height, LARGE_SHAPE.state3_frames};

// "img/effects.png": the sprite effects and the two darkness pictures.
inline constexpr SheetSlot EFFECT_JUMP_PUFF = {"jump_puff", 0, 0, 3, 3, 7};
inline constexpr SheetSlot EFFECT_LAND_PUFF = {"land_puff", 0, 3, 3, 3, 7};
inline constexpr SheetSlot EFFECT_DASH_START = {"dash_start", 0, 12, 4, 3, 10};
inline constexpr SheetSlot EFFECT_STOMP_IMPACT = {"stomp_impact", 0, 15, 7, 7, 10};
inline constexpr SheetSlot EFFECT_MUZZLE_FLASH = {"muzzle_flash", 0, 22, 3, 1, 6};
inline constexpr SheetSlot EFFECT_BURST = {"burst", 0, 28, 7, 7, 15};
inline constexpr SheetSlot EFFECT_DARKNESS = {"darkness", 0, 35, 140, 100, 1};
inline constexpr SheetSlot EFFECT_DARKNESS_FLICKER = {"darkness_flicker", 0, 135, 140, 100, 1};

// "img/pickups.png": the stomp ability.
inline constexpr SheetSlot PICKUP_ABILITY = {"ability", 0, 0, 8, 11, 12};

// "img/projectiles.png": the shot lying flat and standing up.
inline constexpr SheetSlot SHOT_LYING = {"shot", 0, 0, 4, 1, 4};
inline constexpr SheetSlot SHOT_STANDING = {"shot_up", 0, 1, 1, 4, 4};

// "img/doodads.png": the save points (the doodads' rows and sizes are set
// per type by the level parser and kept in each doodad).
inline constexpr SheetSlot SAVEPOINT_LIT = {"savepoint_lit", 0, 64, 4, 4, 7};
inline constexpr SheetSlot SAVEPOINT_UNLIT = {"savepoint", 0, 68, 4, 4, 4};

// "img/boss.png": the boss of the closing sequence.
inline constexpr SheetSlot BOSS_FRAMES = {"boss", 0, 0, 45, 36, 8};

// The sheet of that name ("ui", "enemies", ...), or null for a picture
// without a fixed layout.
const SheetLayout *layout_find(const char *name);
int layout_count();
const SheetLayout *layout_at(int index);  // null outside 0..layout_count() - 1

// The tiny font "img/tinyfont.png": glyphs for codes 32 to 127 in one row,
// 10 pixels high, each followed by one empty column.
constexpr int FONT_FIRST_CODE = 32;
constexpr int FONT_GLYPHS = 96;
constexpr int FONT_HEIGHT = 10;
int font_width(int code);   // 0 outside 32..127
int font_left_x(int code);  // the sum of width + 1 over the lower codes

// Cutscene pictures "img/cutscene%d.png": frames of 64 x 36, 32 to a row;
// frame i lies at (64 * (i mod 32), 36 * (i div 32)).
constexpr int CUTSCENE_FRAME_WIDTH = 64;
constexpr int CUTSCENE_FRAME_HEIGHT = 36;
constexpr int CUTSCENE_FRAMES_PER_ROW = 32;
