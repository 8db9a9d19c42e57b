// The platform layer: the only code that asks the operating system anything
// beyond what SDL and PhysFS offer.
#pragma once

#include <cstddef>
#include <cstdio>

// Where the save folder lies: a base folder that must exist and the folder
// names appended to it one level at a time, each created when missing.
struct SaveFolderPlan {
    const char *base;
    const char *parts[4];
    int part_count;
};

extern const char platform_path_separator;

// Fills the plan from the environment. Returns false when no profile folder
// is known (neither USERPROFILE nor HOME on POSIX).
bool platform_save_folder_plan(SaveFolderPlan *plan);

// True when a file or folder exists at the path.
bool platform_path_exists(const char *path);

// True when a folder (not a file) exists at the path.
bool platform_is_folder(const char *path);

// Creates one folder with default permissions; the result is not reported.
void platform_create_folder(const char *path);

// The primary screen's size in pixels, 0 x 0 when there is no display.
void platform_screen_size(int *width, int *height);

// Forces what was written to the file down to the disk.
bool platform_sync_file(std::FILE *file);

// Replaces the file at target with the file at source in one step, so that a
// reader sees either the old or the new file, never a partial one.
bool platform_replace_file(const char *source, const char *target);

// Forces the folder's own entries (names, renames) down to the disk, so that
// a replacement survives a power loss that follows it. False when the folder
// cannot be opened or flushed.
bool platform_sync_folder(const char *path);

// The folder that holds the running executable, in UTF-8 (what the archive
// layer and SDL take), without a trailing separator. False when the
// operating system cannot tell or the path does not fit in capacity bytes.
bool platform_executable_folder(char *out, size_t capacity);
