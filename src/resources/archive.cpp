#include "resources/archive.h"

#include "common/log.h"

#include <physfs.h>

#include <cstdlib>

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
