// What the game expects of the archive: the sprite sheets' layouts, the tiny
// font's widths, the sound bank's names and the tables' capacities.
#pragma once

#include <string>

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

// The sheet of that name, or null for a picture without a fixed layout.
const SheetLayout *layout_find(const std::string &name);
int layout_count();
const SheetLayout *layout_at(int index);

// The tiny font: glyphs for codes 32 to 127, 10 pixels high, one row.
constexpr int FONT_FIRST_CODE = 32;
constexpr int FONT_GLYPHS = 96;
constexpr int FONT_HEIGHT = 10;
int font_width(int code);   // 0 outside 32..127
int font_left_x(int code);  // sum of width + 1 over the lower codes

// Cutscene pictures: frames of 64 x 36, 32 to a row.
constexpr int CUTSCENE_FRAME_WIDTH = 64;
constexpr int CUTSCENE_FRAME_HEIGHT = 36;
constexpr int CUTSCENE_FRAMES_PER_ROW = 32;

constexpr int VIEW_WIDTH = 64;
constexpr int VIEW_HEIGHT = 36;

// The sound bank: the file names under "snd/", without ".ogg".
constexpr int SOUND_COUNT = 22;
const char *sound_name(int index);
bool sound_is_known(const std::string &name);
constexpr int SOUND_RATE = 44000;

// Capacities of the world's tables and of the text files.
constexpr int MAX_DOODADS = 100;
constexpr int MAX_ENEMIES = 20;
constexpr int MAX_TRIGGERS = 10;
constexpr int MAX_SAVEPOINTS = 6;
constexpr int MAX_PICKUPS = 5;
constexpr int MAX_TITLE = 50;
