#include "app/install.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/platform.h"

#include <SDL.h>
#include <physfs.h>

#include <cstdio>

bool install_search_executable_folder = false;

static const char ARCHIVE_NAME[] = "data.quob";
static const char MAPPINGS_NAME[] = "gamecontrollerdb.txt";

// The folders of the archives that mounted, in mount order: their
// controller mappings are read after the archives.
static char archive_folders[2][APP_PATH_CAPACITY];
static int archive_folder_count = 0;

// folder + separator + each part; false when the result would not fit.
static bool join_path(char *out, const char *folder, const char *const *parts, int part_count) {
    int length = std::snprintf(out, APP_PATH_CAPACITY, "%s", folder);
    for (int i = 0; i < part_count && length >= 0 && length < APP_PATH_CAPACITY; ++i) {
        length += std::snprintf(out + length, static_cast<size_t>(APP_PATH_CAPACITY - length), "%c%s",
                                platform_path_separator, parts[i]);
    }
    return length >= 0 && length < APP_PATH_CAPACITY;
}

// Appends the archive at the path to the search path and remembers folder.
static bool mount_archive(const char *path, const char *folder) {
    if (!PHYSFS_mount(path, nullptr, 1)) return false;
    if (archive_folder_count < 2) {
        std::snprintf(archive_folders[archive_folder_count++], APP_PATH_CAPACITY, "%s", folder);
    }
    return true;
}

int install_mount_archives_from(const char *executable_folder) {
    archive_folder_count = 0;
    // The current folder's archive comes first, as the game has always
    // looked for it; a missing one shows up later as missing files.
    int mounted = mount_archive("./data.quob", ".") ? 1 : 0;
    if (!executable_folder) return mounted;

    // Beside the executable (a build folder, an unpacked copy), else where
    // an installed tree keeps it (PREFIX/bin and PREFIX/share/numbral).
    const char *const beside[] = {ARCHIVE_NAME};
    const char *const installed_folder[] = {"..", "share", "numbral"};
    char folder[APP_PATH_CAPACITY];
    char path[APP_PATH_CAPACITY];
    if (join_path(path, executable_folder, beside, 1) && mount_archive(path, executable_folder)) return mounted + 1;
    if (join_path(folder, executable_folder, installed_folder, 3) && join_path(path, folder, beside, 1) &&
        mount_archive(path, folder)) {
        return mounted + 1;
    }
    return mounted;
}

void install_mount_archives() {
    if (!install_search_executable_folder) {
        install_mount_archives_from(nullptr);
        return;
    }
    char folder[APP_PATH_CAPACITY];
    if (platform_executable_folder(folder, sizeof folder)) {
        install_mount_archives_from(folder);
    } else {
        app_log("install_mount_archives > the executable's folder is unknown; only ./data.quob is read");
        install_mount_archives_from(nullptr);
    }
}

// Adds the mappings of FOLDER/gamecontrollerdb.txt when the file is there.
static bool add_mappings_in(const char *folder) {
    const char *const name[] = {MAPPINGS_NAME};
    char path[APP_PATH_CAPACITY];
    if (!join_path(path, folder, name, 1) || !platform_path_exists(path)) return false;
    // SDL would take a folder's size for a file's and ask for that much
    // memory.
    if (platform_is_folder(path)) {
        app_log("install_add_controller_mappings > %s is a folder, not a file", path);
        return false;
    }
    if (SDL_GameControllerAddMappingsFromFile(path) < 0) {
        app_log("install_add_controller_mappings > cannot read %s: %s", path, SDL_GetError());
        return false;
    }
    return true;
}

int install_add_controller_mappings(const char *save_folder) {
    int loaded = 0;
    for (int i = 0; i < archive_folder_count; ++i) loaded += add_mappings_in(archive_folders[i]) ? 1 : 0;
    if (save_folder) loaded += add_mappings_in(save_folder) ? 1 : 0;
    return loaded;
}
