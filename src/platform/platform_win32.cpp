// Windows: the calls the game has always made.
#include "platform/platform.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cwchar>

const char platform_path_separator = '\\';

bool platform_save_folder_plan(SaveFolderPlan *plan) {
    *plan = {};
    const char *profile = std::getenv("USERPROFILE");
    if (!profile) return false;
    plan->base = profile;
    plan->parts[0] = "My Documents";
    plan->parts[1] = "My Games";
    plan->parts[2] = "NUMBRAL";
    plan->part_count = 3;
    return true;
}

bool platform_path_exists(const char *path) {
    wchar_t wide[4096];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 4096) == 0) return false;
    return GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

bool platform_is_folder(const char *path) {
    wchar_t wide[4096];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 4096) == 0) return false;
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void platform_create_folder(const char *path) {
    CreateDirectoryA(path, nullptr);
}

void platform_screen_size(int *width, int *height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

bool platform_sync_file(std::FILE *file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

bool platform_replace_file(const char *source, const char *target) {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool platform_sync_folder(const char *path) {
    // MoveFileEx with MOVEFILE_WRITE_THROUGH returns only once the rename is
    // on the disk; the folder needs no flush of its own. It must exist.
    return platform_path_exists(path);
}

bool platform_executable_folder(char *out, size_t capacity) {
    // Long paths may pass MAX_PATH; a name that fills the buffer was cut.
    static wchar_t wide[32768];
    const DWORD length = GetModuleFileNameW(nullptr, wide, 32768);
    if (length == 0 || length >= 32768) return false;
    wchar_t *last = wcsrchr(wide, L'\\');
    if (!last) return false;
    // A drive's root keeps its separator: "C:" alone names the drive's current folder.
    if (last > wide && last[-1] == L':') ++last;
    *last = L'\0';
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(capacity), nullptr, nullptr);
    return bytes > 0;
}
