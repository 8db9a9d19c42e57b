#include "level/cutscene.h"

#include "audio/audio.h"
#include "common/controls.h"
#include "common/log.h"
#include "common/numeric.h"
#include "common/screen.h"
#include "common/settings.h"
#include "common/text.h"
#include "level/level.h"
#include "player/player.h"
#include "resources/archive.h"
#include "resources/texture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool cutscene_active = false;
CutscenePlayback cutscene_playback = {};
float skip_hold_time = 0.0f;
int32_t cutscene_number = 0;

static constexpr float DEFAULT_FRAME_DURATION = 0.0833333f;  // 12 frames a second
static constexpr int FRAME_WIDTH = 64;
static constexpr int FRAME_HEIGHT = 36;

// A new game begins at level 3, entrance 0.
static constexpr int32_t NEW_GAME_LEVEL = 3;
static constexpr int32_t NEW_GAME_ENTRANCE = 0;

static MusicId music_of(int32_t n) {
    switch (n) {
    case 1: return MUSIC_CUTSCENE1;
    case 2: return MUSIC_CUTSCENE2;
    case 5: return MUSIC_CUTSCENE5;
    default: return MUSIC_NONE;
    }
}

static void release_texture() {
    if (cutscene_playback.texture) SDL_DestroyTexture(cutscene_playback.texture);
    cutscene_playback.texture = nullptr;
}

static void read_description(int32_t n) {
    char path[64];
    std::snprintf(path, sizeof path, "data/cutscene%d.txt", n);
    int32_t length = 0;
    char *text = reinterpret_cast<char *>(archive_read_file(path, &length));
    if (!text) {
        // Read as an empty description: the frames run out or a skip ends it.
        app_log("cutscene_start > cannot read %s", path);
        return;
    }
    char *lines[TEXT_MAX_LINES];
    const int count = text_split_lines(text, lines);
    for (int i = 0; i < count; ++i) cutscene_parse_line(lines[i]);
    std::free(text);
}

void cutscene_start(int32_t n) {
    CutscenePlayback &c = cutscene_playback;
    c.frame_timer = 0.0f;
    skip_hold_time = 0.0f;
    c.frame_duration = DEFAULT_FRAME_DURATION;
    c.frame_index = 0;
    c.has_target = false;
    c.replace_sounds = true;
    cutscene_active = true;
    cutscene_number = n;

    // Two starts in one frame (a pickup and a trigger) must not leave the
    // first strip behind.
    release_texture();
    char path[64];
    std::snprintf(path, sizeof path, "img/cutscene%d.png", n);
    c.texture = quob_load_png_as_SDLtexture(path);

    read_description(n);

    const MusicId music = music_of(n);
    if (music != MUSIC_NONE) audio_PlayMusic(music, c.replace_sounds);
}

void cutscene_parse_line(char *line) {
    char *f[TEXT_MAX_FIELDS];
    const int count = text_split_fields(line, f);
    if (count < 1) return;
    CutscenePlayback &c = cutscene_playback;
    if (std::strcmp(f[0], "sound_overlay") == 0) {
        c.replace_sounds = false;
        return;
    }
    if (count < 2) return;
    if (std::strcmp(f[0], "frames") == 0) {
        c.frame_count = text_read_int(f[1]);
    } else if (std::strcmp(f[0], "fps") == 0) {
        const int32_t fps = text_read_int(f[1]);
        // No frames a second: the frames stand still until a skip.
        c.frame_duration = fps == 0 ? INFINITY : 1000.0f / static_cast<float>(fps) / 1000.0f;
    } else if (std::strcmp(f[0], "target") == 0) {
        // A target line shorter than its form is ignored and sets no target.
        if (std::strcmp(f[1], "level") == 0 && count >= 4) {
            c.target = {CUTSCENE_TARGET_LEVEL, text_read_int(f[2]), text_read_int(f[3])};
        } else if (std::strcmp(f[1], "cutscene") == 0 && count >= 3) {
            c.target = {CUTSCENE_TARGET_CUTSCENE, text_read_int(f[2]), 0};
        } else if (std::strcmp(f[1], "quit") == 0) {
            c.target = {CUTSCENE_TARGET_QUIT, 0, 0};
        } else {
            return;
        }
        c.has_target = true;
    }
}

void cutscene_update(float dt) {
    if (!cutscene_active) return;
    CutscenePlayback &c = cutscene_playback;
    if (controls.jump) {
        skip_hold_time += dt;
        if (skip_hold_time >= CUTSCENE_SKIP_SECONDS) cutscene_end();
    } else {
        skip_hold_time = 0.0f;
    }
    // The frame advance runs even when the skip has just ended the cutscene;
    // a second end does nothing, and a chained cutscene starts its own clock.
    c.frame_timer += dt;
    if (c.frame_timer > c.frame_duration) {
        ++c.frame_index;
        c.frame_timer -= c.frame_duration;
        // "Or more": a count of 0 or below ends at the first advance.
        if (c.frame_index >= c.frame_count) cutscene_end();
    }
}

void cutscene_draw() {
    const CutscenePlayback &c = cutscene_playback;
    const int64_t index = c.frame_index;
    const int64_t x = FRAME_WIDTH * (index % CUTSCENE_FRAMES_PER_ROW);
    const int64_t y = FRAME_HEIGHT * (index / CUTSCENE_FRAMES_PER_ROW);
    // A frame beyond any picture SDL could hold draws nothing.
    if (c.texture && y <= INT32_MAX - FRAME_HEIGHT) {
        const SDL_Rect source = {static_cast<int>(x), static_cast<int>(y), FRAME_WIDTH, FRAME_HEIGHT};
        const SDL_Rect whole = {0, 0, CANVAS_WIDTH, CANVAS_HEIGHT};
        SDL_RenderCopy(renderer, c.texture, &source, &whole);
    }
    if (skip_hold_time > 0.0f) {
        // Grows along the bottom row and is full just before the skip fires.
        const int32_t width = 1 + num_truncate(skip_hold_time / CUTSCENE_SKIP_SECONDS * static_cast<float>(CANVAS_WIDTH));
        const SDL_Rect bar = {0, CANVAS_HEIGHT - 1, width, 1};
        SDL_SetRenderDrawColor(renderer, 74, 25, 74, 255);
        SDL_RenderFillRect(renderer, &bar);
    }
}

void cutscene_end() {
    if (!cutscene_active) return;
    cutscene_active = false;
    cutscene_number = 0;
    release_texture();
    CutscenePlayback &c = cutscene_playback;
    if (!c.has_target) return;  // play goes on in the level already loaded
    const CutsceneTarget target = c.target;
    switch (target.kind) {
    case CUTSCENE_TARGET_CUTSCENE:
        cutscene_start(target.number);
        break;
    case CUTSCENE_TARGET_LEVEL:
        if (target.number == NEW_GAME_LEVEL && target.entrance == NEW_GAME_ENTRANCE) {
            progress_start_new_game();
            player.health = 5;
            player.lives = 3;
        }
        load_level(target.number, target.entrance, false);
        break;
    case CUTSCENE_TARGET_QUIT:
        quit_requested = true;
        break;
    }
}
