// The settings-and-progress file "numbral.save" in the save folder.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int APP_PATH_CAPACITY = 4096;

// The settings file's path in the save folder, set during start-up.
extern char app_save_path[APP_PATH_CAPACITY];

struct Settings {
    float volume;          // master volume, 0 to 1
    bool fullscreen;       // display mode
    bool buttstomp;        // the stomp ability is unlocked
    int32_t savelevel;     // level to continue from; -1 means none
    int32_t savecheckpoint;  // checkpoint within that level; -1 means none
};

extern Settings settings;

void settings_apply_defaults();

// Reads app_save_path into settings. A missing or unreadable file, unknown
// keys and malformed lines leave the fields as they were.
void settings_load();

// Rewrites app_save_path with all five fields. The old file is replaced only
// by a complete new one; when that cannot be done the program shows the
// "Save file error" box and exits with status 1.
void settings_save();

// The parts behind load and save, usable on their own.
void settings_parse(char *text);
int settings_format(char *out, size_t capacity);
bool settings_write_file(const char *path);

// The message box for a save file that cannot be written, then exit 1.
[[noreturn]] void settings_fail_fatal();
