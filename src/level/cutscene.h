// Cutscene playback: a strip of 64 x 36 frames with music and a target.
#pragma once

#include <SDL.h>

#include <cstdint>

constexpr int CUTSCENE_FRAMES_PER_ROW = 32;
constexpr float CUTSCENE_SKIP_SECONDS = 1.05f;  // jump held this long skips

enum CutsceneTargetKind : int32_t {
    CUTSCENE_TARGET_LEVEL,
    CUTSCENE_TARGET_CUTSCENE,
    CUTSCENE_TARGET_QUIT,
};

// What follows a cutscene: a level and its entrance, another cutscene, or the
// end of the program.
struct CutsceneTarget {
    CutsceneTargetKind kind;
    int32_t number;    // the level or the cutscene
    int32_t entrance;  // level targets only
};

// The one cutscene that plays. The frame count is kept from cutscene to
// cutscene until a "frames" line sets it.
struct CutscenePlayback {
    int32_t frame_count;
    int32_t frame_index;   // the frame shown now
    float frame_duration;  // seconds; infinite for "fps:0"
    float frame_timer;     // time gathered toward the next frame
    SDL_Texture *texture;  // the frame strip; null when it did not load
    bool replace_sounds;   // the music replaces what plays (no "sound_overlay")
    bool has_target;
    CutsceneTarget target;
};

extern bool cutscene_active;  // a cutscene is playing: the main loop's mode flag
extern CutscenePlayback cutscene_playback;
extern float skip_hold_time;     // how long jump has been held, seconds
extern int32_t cutscene_number;  // the cutscene playing; 0 once it has ended

// Starts cutscene n: its frame strip, its description and its music. A
// cutscene already playing is replaced without following its target.
void cutscene_start(int32_t n);

// Applies one line of a cutscene description; the line is cut in place.
void cutscene_parse_line(char *line);

// One frame: the skip hold and at most one frame advance.
void cutscene_update(float dt);

// Draws the current frame and the skip bar into the current render target
// (the canvas, cleared by the caller).
void cutscene_draw();

// Ends the cutscene and follows its target.
void cutscene_end();
