#include "resources/archive.h"

#include "common/log.h"

#include <physfs.h>

#include <cstdlib>

static void *bounded_malloc(PHYSFS_uint64 size) {
    if (size > ARCHIVE_MAX_BOOKKEEPING_BLOCK) return nullptr;
    return std::malloc(size ? static_cast<size_t>(size) : 1);
}

static void *bounded_realloc(void *block, PHYSFS_uint64 size) {
    if (size > ARCHIVE_MAX_BOOKKEEPING_BLOCK) return nullptr;
    return std::realloc(block, size ? static_cast<size_t>(size) : 1);
}

static void bounded_free(void *block) {
    std::free(block);
}

bool archive_init(const char *argv0) {
    if (PHYSFS_isInit()) return true;
    static const PHYSFS_Allocator bounded = {nullptr, nullptr, bounded_malloc, bounded_realloc, bounded_free};
    return PHYSFS_setAllocator(&bounded) && PHYSFS_init(argv0);
}

bool archive_exists(const char *path) {
    return PHYSFS_isInit() && PHYSFS_exists(path) != 0;
}

uint8_t *archive_read_file(const char *path, int32_t *length) {
    *length = 0;
    PHYSFS_File *file = PHYSFS_openRead(path);
    if (!file) return nullptr;
    const PHYSFS_sint64 file_length = PHYSFS_fileLength(file);
    if (file_length < 0 || file_length > ARCHIVE_MAX_FILE_BYTES) {
        if (file_length > ARCHIVE_MAX_FILE_BYTES) app_log("archive_read_file > file too large: %s", path);
        PHYSFS_close(file);
        return nullptr;
    }
    // One spare byte keeps the block valid for empty files.
    uint8_t *buffer = static_cast<uint8_t *>(std::calloc(static_cast<size_t>(file_length) + 1, 1));
    if (!buffer) {
        PHYSFS_close(file);
        return nullptr;
    }
    PHYSFS_readBytes(file, buffer, static_cast<PHYSFS_uint64>(file_length));
    PHYSFS_close(file);
    *length = static_cast<int32_t>(file_length);
    return buffer;
}
