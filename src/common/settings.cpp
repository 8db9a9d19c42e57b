#include "common/settings.h"

#include "common/log.h"
#include "common/text.h"
#include "platform/platform.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Settings settings;
char app_save_path[APP_PATH_CAPACITY];

void settings_apply_defaults() {
    settings.volume = 0.75f;
    settings.fullscreen = false;
    settings.buttstomp = false;
    settings.savelevel = -1;
    settings.savecheckpoint = -1;
}

void settings_parse(char *text) {
    char *lines[TEXT_MAX_LINES];
    const int line_count = text_split_lines(text, lines);
    for (int i = 0; i < line_count; ++i) {
        char *fields[TEXT_MAX_FIELDS];
        if (text_split_fields(lines[i], fields) < 2) continue;
        const char *key = fields[0];
        const char *value = fields[1];
        if (std::strcmp(key, "volume") == 0) {
            // A volume past the float range (1e39) reads as 0, as every
            // non-finite number from a file does: saved, it would come back
            // as "inf", which reads as 0 anyway.
            const float volume = text_read_float(value);
            settings.volume = std::isfinite(volume) ? volume : 0.0f;
        } else if (std::strcmp(key, "fullscreen") == 0) {
            settings.fullscreen = text_read_int(value) == 1;
        } else if (std::strcmp(key, "buttstomp") == 0) {
            settings.buttstomp = text_read_int(value) == 1;
        } else if (std::strcmp(key, "savelevel") == 0) {
            settings.savelevel = text_read_int(value);
        } else if (std::strcmp(key, "savecheckpoint") == 0) {
            settings.savecheckpoint = text_read_int(value);
        }
    }
}

void settings_load() {
    std::FILE *file = std::fopen(app_save_path, "r");
    if (!file) return;
    // The file is read whole; a growing buffer keeps any size safe.
    size_t capacity = 256;
    size_t length = 0;
    char *text = static_cast<char *>(std::malloc(capacity));
    while (text) {
        length += std::fread(text + length, 1, capacity - 1 - length, file);
        if (length < capacity - 1) break;
        capacity *= 2;
        char *grown = static_cast<char *>(std::realloc(text, capacity));
        if (!grown) std::free(text);
        text = grown;
    }
    std::fclose(file);
    if (!text) return;
    text[length] = '\0';
    settings_parse(text);
    std::free(text);
}

int settings_format(char *out, size_t capacity) {
    return std::snprintf(out, capacity,
                         "volume:%f\nfullscreen:%i\nsavelevel:%i\nsavecheckpoint:%i\nbuttstomp:%i\n",
                         static_cast<double>(settings.volume), settings.fullscreen ? 1 : 0,
                         settings.savelevel, settings.savecheckpoint, settings.buttstomp ? 1 : 0);
}

bool settings_write_file(const char *path) {
    char text[512];
    const int length = settings_format(text, sizeof text);
    char temporary_path[APP_PATH_CAPACITY + 8];
    std::snprintf(temporary_path, sizeof temporary_path, "%s.tmp", path);

    std::FILE *file = std::fopen(temporary_path, "w");
    if (!file) return false;
    bool written = std::fwrite(text, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    written = platform_sync_file(file) && written;
    written = std::fclose(file) == 0 && written;
    if (!written || !platform_replace_file(temporary_path, path)) {
        std::remove(temporary_path);
        return false;
    }
    // The rename lives in the folder's entries: flushed too, a power loss
    // right after the save keeps the new file rather than the old one (or
    // neither). The new file is already in place, so a failed flush is only
    // reported.
    char folder[APP_PATH_CAPACITY];
    std::snprintf(folder, sizeof folder, "%s", path);
    char *last_separator = nullptr;
    for (char *c = folder; *c != '\0'; ++c) {
        if (*c == platform_path_separator || *c == '/') last_separator = c;
    }
    if (last_separator == folder) {
        last_separator[1] = '\0';  // the root folder
    } else if (last_separator) {
        *last_separator = '\0';
    } else {
        std::snprintf(folder, sizeof folder, ".");
    }
    if (!platform_sync_folder(folder)) app_log("settings_save > cannot flush the save folder: %s", folder);
    return true;
}

void settings_fail_fatal() {
    static const char TITLE[] = "Save file error";
    static const char TEXT[] =
        "Cannot write save file. Please ensure this cool game is able to write to your My Documents folder.";
    // Without a display the box cannot show: the words go to standard error.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, TITLE, TEXT, nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", TITLE, TEXT);
    }
    std::exit(1);
}

void settings_save() {
    if (!settings_write_file(app_save_path)) settings_fail_fatal();
}
