// The game's own PNG decoder: 8-bit non-interlaced grey, grey with alpha,
// RGB, RGBA and palette images become 8-bit RGBA pixels. CRCs and the
// Adler-32 checksum are never checked.
#pragma once

#include <cstdint>

struct PngPixel {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    uint8_t a;
};

struct PngImage {
    int32_t width;
    int32_t height;
    // width x height pixels, rows top to bottom, or null on failure. The
    // block is (width + 1) x height x 4 bytes from malloc; release it with
    // free. width and height may be set even when the decode failed.
    PngPixel *pixels;
};

// Decodes the PNG file held in data. Never reads outside data[0, length),
// never reports why it failed.
PngImage png_load_from_memory(const uint8_t *data, int32_t length);
