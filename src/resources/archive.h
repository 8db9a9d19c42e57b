// Whole-file reads from the data archive.
#pragma once

#include <cstdint>

// True when the archive holds a file at the path.
bool archive_exists(const char *path);

// Reads the whole file at the path into a new heap block of exactly its
// length (released with free). Returns null when the file cannot be opened
// or its length is unknown; nothing is left open or allocated then. A short
// read leaves zero bytes at the end of the block, and one zero byte always
// follows the data, so a text file comes back terminated.
uint8_t *archive_read_file(const char *path, int32_t *length);
