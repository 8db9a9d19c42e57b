// Any bytes as the data archive, opened the way the game opens it: PhysFS
// mounts it (here from memory, through a reader of our own), every name is listed and every file is read
// whole through the game's own archive read. No crash, hang, leak or read
// outside the bytes, and no file longer than the read's limit comes back.
#include "resources/archive.h"

#include "fuzz_zip.h"

#include <physfs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int MAX_FILES_READ = 64;  // a directory may list thousands
int files_read = 0;

void walk(const std::string &folder, int depth) {
    if (depth > 16) return;
    char **names = PHYSFS_enumerateFiles(folder.c_str());
    for (char **name = names; name && *name; ++name) {
        const std::string path = folder.empty() ? *name : folder + "/" + *name;
        PHYSFS_Stat stat;
        if (!PHYSFS_stat(path.c_str(), &stat)) continue;
        if (stat.filetype == PHYSFS_FILETYPE_DIRECTORY) {
            walk(path, depth + 1);
        } else if (files_read++ < MAX_FILES_READ && archive_exists(path.c_str())) {
            int32_t length = -1;
            uint8_t *bytes = archive_read_file(path.c_str(), &length);
            if (bytes && (length < 0 || length > ARCHIVE_MAX_FILE_BYTES)) std::abort();
            if (!bytes && length != 0) std::abort();
            std::free(bytes);
        }
    }
    PHYSFS_freeList(names);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    archive_init(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A copy of exactly the input, so a read past it is reported.
    uint8_t *copy = static_cast<uint8_t *>(std::malloc(size ? size : 1));
    if (!copy) return 0;
    std::memcpy(copy, data, size);
    if (fuzz_mount(copy, size, "fuzz.zip")) {
        files_read = 0;
        walk("", 0);
        if (!PHYSFS_unmount("fuzz.zip")) std::abort();
    }
    std::free(copy);
    return 0;
}
