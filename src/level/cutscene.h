// Cutscene playback: a strip of 64 x 36 frames with music and a target.
#pragma once

#include <cstdint>

extern bool cutscene_active;  // a cutscene is playing: the main loop's mode flag

// Starts cutscene n: its frame strip, its description and its music.
void cutscene_start(int32_t n);

// Applies one line of a cutscene description; the line is cut in place.
void cutscene_parse_line(char *line);

// One frame: the skip hold and at most one frame advance.
void cutscene_update(float dt);

// Draws the current frame and the skip bar into the canvas.
void cutscene_draw();

// Ends the cutscene and follows its target.
void cutscene_end();
