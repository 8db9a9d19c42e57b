// Whole-file reads from the data archive.
#pragma once

#include <cstdint>

// Starts PhysFS (when it is not running yet) with an allocator that refuses
// any single block larger than ARCHIVE_MAX_BOOKKEEPING_BLOCK. False when
// PhysFS does not start.
bool archive_init(const char *argv0);

// True when the archive holds a file at the path.
bool archive_exists(const char *path);

// Reads the whole file at the path into a new heap block of exactly its
// length (released with free). Returns null when the file cannot be opened
// or its length is unknown; nothing is left open or allocated then. A short
// read leaves zero bytes at the end of the block, and one zero byte always
// follows the data, so a text file comes back terminated.
uint8_t *archive_read_file(const char *path, int32_t *length);

// The largest file archive_read_file reads (the game's largest is under
// 1 MiB); a larger one is refused like an unreadable file, since a small
// compressed member can stand for gigabytes.
constexpr int64_t ARCHIVE_MAX_FILE_BYTES = int64_t{16} << 20;

// PhysFS allocates only for its own bookkeeping: names, the directory, link
// targets. A damaged archive can claim a link target or a directory of
// gigabytes, which PhysFS would allocate (and inflate, slowly); past this
// bound the allocation fails and PhysFS reports an ordinary error instead.
constexpr uint64_t ARCHIVE_MAX_BOOKKEEPING_BLOCK = uint64_t{1} << 20;
