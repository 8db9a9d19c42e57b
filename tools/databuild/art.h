// Pixel art as text: palettes, character grids, sheets assembled at the
// positions the game's layouts require, stamps, tiles and text.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

// RGBA pixels, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

Image image_make(int width, int height);
Rgba image_get(const Image &image, int x, int y);
void image_set(Image *image, int x, int y, Rgba colour);
// Copies every pixel of src (transparent ones too) to (x, y); the parts
// outside dst are dropped.
void image_copy(Image *dst, const Image &src, int x, int y);
// Draws src over dst at (x, y) with alpha blending, only inside the clip
// rectangle (cx, cy, cw, ch).
void image_draw(Image *dst, const Image &src, int x, int y, int cx, int cy, int cw, int ch);
// Grows the picture to at least width x height, keeping what it holds.
void image_grow(Image *image, int width, int height);

// One tile of a tileset: its picture and the part of it that is solid.
struct Tile {
    Image picture;
    bool solid = false;
    int box_x = 0, box_y = 0, box_w = 0, box_h = 0;
};

struct Tileset {
    int size = 0;                                 // tiles are size x size
    std::map<char, std::vector<Tile>> variants;   // by map character
};

// Everything one art file makes.
struct Art {
    Image image;          // empty (0 x 0) for a file that only defines stamps or tiles
    int frames_used = 0;  // highest frame placed + 1, for pictures made of frames
    std::map<std::string, Image> stamps;
    Tileset tiles;
};

struct ArtContext {
    std::string content_dir;     // palettes are read from <content_dir>/palettes
    const Image *font = nullptr; // the built tiny font, for "text"
    std::set<std::string> *imported = nullptr;  // when set, gets every imported file (art_file_key)
};

// The form in which imported files are recorded: the path made plain
// ("images/./src/../a.png" is "images/a.png").
std::string art_file_key(const std::string &path);

// Reads the art file at path. picture is the name of the picture it makes
// ("ui", "cutscene1", "level3-rear", ...) and chooses the layout; an empty
// name makes a file of stamps and tiles only. False after errors.
bool art_build(const std::string &path, const std::string &picture, const ArtContext &context, Art *out);

// Reads a PNG file of any kind the reference decoder knows into RGBA.
bool art_load_png(const std::string &path, Image *out);

// Draws text with the tiny font the way the game does: each glyph's left
// column at the pen, the pen advancing by width - 1; centred text is moved
// left by half its advance, truncated.
void art_draw_text(Image *dst, const Image &font, const std::string &text, int x, int y, bool centred, int cx,
                   int cy, int cw, int ch);
