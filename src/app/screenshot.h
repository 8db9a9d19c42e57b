// Screenshots for players: the picture on screen, enlarged ten times to
// 640 x 360 with hard pixel edges, saved as a PNG file named by date and time
// in the "screenshots" folder of the save folder.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SCREENSHOT_SCALE = 10;

// Saves the canvas as it was last drawn (what the window shows) into the
// save folder. A failure is logged and otherwise ignored; false then.
bool screenshot_take();

// The same into folder/screenshots; the path of the file written goes to
// written_path when it is not null.
bool screenshot_save(const char *folder, char *written_path, size_t capacity);

// An RGBA picture as a PNG file of 8-bit RGB, its image data in stored
// (uncompressed) DEFLATE blocks. Returns a block from malloc and its size in
// *size, or null when the picture is too large.
uint8_t *screenshot_encode_png(const uint8_t *rgba, int width, int height, size_t *size);
