#include "platform/platform.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <cstring>

const char platform_path_separator = '/';

static const char *environment_value(const char *name) {
    const char *value = std::getenv(name);
    return (value && value[0] != '\0') ? value : nullptr;
}

bool platform_save_folder_plan(SaveFolderPlan *plan) {
    *plan = {};
    // USERPROFILE keeps the layout the game has always used.
    if (const char *profile = std::getenv("USERPROFILE")) {
        plan->base = profile;
        plan->parts[0] = "My Documents";
        plan->parts[1] = "My Games";
        plan->parts[2] = "NUMBRAL";
        plan->part_count = 3;
        return true;
    }
    // XDG: a relative XDG_DATA_HOME is invalid and ignored.
    const char *data_home = environment_value("XDG_DATA_HOME");
    if (data_home && data_home[0] == '/') {
        plan->base = data_home;
        plan->parts[0] = "NUMBRAL";
        plan->part_count = 1;
        return true;
    }
    if (const char *home = environment_value("HOME")) {
        plan->base = home;
        plan->parts[0] = ".local";
        plan->parts[1] = "share";
        plan->parts[2] = "NUMBRAL";
        plan->part_count = 3;
        return true;
    }
    return false;
}

bool platform_path_exists(const char *path) {
    struct stat info;
    return stat(path, &info) == 0;
}

bool platform_is_folder(const char *path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

void platform_create_folder(const char *path) {
    mkdir(path, 0755);
}

void platform_screen_size(int *width, int *height) {
    *width = 0;
    *height = 0;
    // SDL answers only with its video subsystem running; it is started for
    // the question alone when start-up has not started it yet.
    const bool was_running = SDL_WasInit(SDL_INIT_VIDEO) != 0;
    if (!was_running && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    SDL_DisplayMode mode;
    if (SDL_GetNumVideoDisplays() > 0 && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        *width = mode.w;
        *height = mode.h;
    }
    if (!was_running) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool platform_sync_file(std::FILE *file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool platform_replace_file(const char *source, const char *target) {
    return std::rename(source, target) == 0;
}

bool platform_sync_folder(const char *path) {
    const int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    int result;
    do {
        result = fsync(folder);
    } while (result != 0 && errno == EINTR);
    // A file system that cannot flush a folder (EINVAL) keeps its entries in
    // step with the data by itself; there is nothing more to do.
    const bool flushed = result == 0 || errno == EINVAL;
    close(folder);
    return flushed;
}

// Copies the folder part of a path (everything before its last slash; the
// root keeps its slash) into out when it fits.
static bool copy_folder_part(const char *path, char *out, size_t capacity) {
    const char *last = std::strrchr(path, '/');
    if (!last) return false;
    const size_t length = last == path ? 1 : static_cast<size_t>(last - path);
    if (length >= capacity) return false;
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

bool platform_executable_folder(char *out, size_t capacity) {
    // Linux names the executable with every link resolved; elsewhere SDL
    // asks the system in its own way (its answer ends with a slash).
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    // A name that fills the buffer may have been cut.
    if (length > 0 && static_cast<size_t>(length) < sizeof path - 1) {
        path[length] = '\0';
        return path[0] == '/' && copy_folder_part(path, out, capacity);
    }
    char *base = SDL_GetBasePath();
    if (!base) return false;
    const bool copied = copy_folder_part(base, out, capacity);
    SDL_free(base);
    return copied;
}
