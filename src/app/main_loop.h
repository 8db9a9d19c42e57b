// The frame loop: time step, input, one of three modes, present, pacing.
#pragma once

#include <cstdint>

// Where the loop takes its time from. Tests replace both functions to run
// frames with exact, chosen elapsed times and no real waiting.
struct FrameClock {
    uint32_t (*ticks)();          // milliseconds, wrapping at 2^32
    void (*delay)(uint32_t ms);   // wait before the next frame
};

extern FrameClock frame_clock;  // SDL_GetTicks and SDL_Delay by default

extern float dt;  // the frame's time step in seconds, below 0.1

// Loop start, then frames until a quit is requested.
void main_loop();

// The loop's parts: the start (clock, sprite sheets, first cutscene) and one
// frame, which returns false when the loop ends.
void main_loop_start();
bool main_loop_frame();
