// The tiny font: every text of the game, drawn 1:1 from "img/tinyfont.png"
// into the current render target.
#pragma once

#include <cstdint>

// Builds the glyph table and loads the font picture. Returns 1. The first
// font_draw_text runs it; a missing picture leaves the text undrawn.
int font_load();

// Forgets the font picture (the renderer that owns it is going away); the
// next font_draw_text loads it again.
void font_unload();

// Draws text at (x, y) with its glyphs' own colours at the given opacity.
// Centred text has its visual middle on x. Bytes outside 32..127 are skipped.
void font_draw_text(const char *text, int x, int y, bool centred, uint8_t alpha);
