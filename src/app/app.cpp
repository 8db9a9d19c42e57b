#include "app/app.h"

#include "app/input.h"
#include "app/install.h"
#include "app/main_loop.h"
#include "app/startup_times.h"
#include "common/settings.h"
#include "app/video.h"
#include "audio/audio.h"
#include "platform/platform.h"
#include "resources/archive.h"

#include <SDL.h>
#include <physfs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

char app_folder_path[APP_PATH_CAPACITY];
char app_log_path[APP_PATH_CAPACITY];

static const char LOG_FILE_NAME[] = "numbral.log";
static const char SAVE_FILE_NAME[] = "numbral.save";

[[noreturn]] static void exit_with_message(const char *message) {
    std::fputs(message, stdout);
    std::fflush(stdout);
    std::exit(1);
}

// Appends a separator and a name, bounded by the buffer.
static void path_append(char *path, const char *name) {
    const size_t length = std::strlen(path);
    std::snprintf(path + length, APP_PATH_CAPACITY - length, "%c%s", platform_path_separator, name);
}

static void path_join(char *out, const char *folder, const char *name) {
    std::snprintf(out, APP_PATH_CAPACITY, "%s", folder);
    path_append(out, name);
}

// Builds the save folder path, creating each missing level in turn.
static void build_folder_path() {
    SaveFolderPlan plan;
    if (!platform_save_folder_plan(&plan)) {
        exit_with_message("Cannot find USERPROFILE environment variable. Now exiting.\n");
    }
    // A folder path too long for its files would name the wrong files, so
    // it is refused before anything is created.
    size_t longest_file = std::strlen(plan.base) + 1 + std::strlen(SAVE_FILE_NAME);
    for (int i = 0; i < plan.part_count; ++i) longest_file += 1 + std::strlen(plan.parts[i]);
    if (longest_file >= APP_PATH_CAPACITY) {
        exit_with_message("Cannot open log file. Be sure that this game has write rights. Now exiting.\n");
    }
    std::snprintf(app_folder_path, APP_PATH_CAPACITY, "%s", plan.base);
    for (int i = 0; i < plan.part_count; ++i) {
        path_append(app_folder_path, plan.parts[i]);
        ensure_folder(app_folder_path);
    }
}

void ensure_folder(const char *path) {
    if (!platform_path_exists(path)) platform_create_folder(path);
}

// Opens the file for reading or, when that fails, creates it empty; an
// existing file is never truncated or written. A folder in its place opens
// for reading on POSIX but can never be written: it fails here, at start-up.
static bool ensure_file(const char *path) {
    if (platform_is_folder(path)) return false;
    std::FILE *file = std::fopen(path, "r");
    if (!file) file = std::fopen(path, "a");
    if (!file) return false;
    std::fclose(file);
    return true;
}

static void apply_defaults() {
    settings_apply_defaults();
    platform_screen_size(&screen_width, &screen_height);
    controls = {};
    quit_requested = false;
    sound_enabled = true;
}

int app_prepare_user_files(int argc, char **argv) {
    apply_defaults();
    build_folder_path();
    path_join(app_save_path, app_folder_path, SAVE_FILE_NAME);
    if (!ensure_file(app_save_path)) settings_fail_fatal();
    settings_load();

    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        auto is = [argument](const char *option) { return std::strcmp(argument, option) == 0; };
        if (is("--fullscreen") || is("-f")) {
            settings.fullscreen = true;
        } else if (is("--help") || is("-h") || is("/?") || is("--version") || is("-v")) {
            return 0;
        } else if (is("--nosound") || is("-n")) {
            sound_enabled = false;
        } else if (is("--joystick") || is("-j")) {
            // Game controllers are always handled.
        } else {
            app_log("Commandline argument unknown: (%s) ... Ignoring.", argument);
        }
    }
    return 1;
}

bool app_start(int argc, char **argv, int *exit_status) {
    *exit_status = 1;
    startup_time_mark(STARTUP_ENTERED);
    build_folder_path();
    path_join(app_log_path, app_folder_path, LOG_FILE_NAME);
    if (!ensure_file(app_log_path)) {
        exit_with_message("Cannot open log file. Be sure that this game has write rights. Now exiting.\n");
    }

    if (!archive_init(argc > 0 ? argv[0] : nullptr)) return false;
    if (!PHYSFS_setSaneConfig("Grulp Software", "NUMBRAL", "ZIP", 0, 0)) return false;
    install_mount_archives();
    startup_time_mark(STARTUP_ARCHIVE_MOUNTED);

    if (!app_prepare_user_files(argc, argv)) return false;
    install_add_controller_mappings(app_folder_path);
    startup_time_mark(STARTUP_USER_FILES_READ);
    if (!video_init()) return false;
    startup_time_mark(STARTUP_VIDEO_STARTED);
    if (!audio_Init()) return false;
    startup_time_mark(STARTUP_SOUND_BANK_LOADED);
    *exit_status = 0;
    return true;
}

int app_main(int argc, char **argv) {
    int exit_status = 0;
    install_search_executable_folder = true;
    if (!app_start(argc, argv, &exit_status)) return exit_status;
    main_loop();
    app_shutdown();
}

void app_stop() {
    audio_Shutdown();
    PHYSFS_deinit();
    SDL_Quit();
}

void app_shutdown() {
    app_stop();
    std::exit(0);
}
