// When each start-up step ended, for measuring how long the game takes to
// show its first picture. The game only records the times; the benchmark
// reads them.
#pragma once

#include <cstdint>

enum StartupStep : int32_t {
    STARTUP_ENTERED,            // app_start began
    STARTUP_ARCHIVE_MOUNTED,    // save folder, log file, archive library and mounts
    STARTUP_USER_FILES_READ,    // settings file, command line, controller mappings
    STARTUP_VIDEO_STARTED,      // SDL, window, renderer, canvas, "Loading..." shown
    STARTUP_SOUND_BANK_LOADED,  // mixer, device, thread and the 22 sounds decoded
    STARTUP_SHEETS_LOADED,      // the sprite sheets
    STARTUP_CUTSCENE_STARTED,   // the opening cutscene's text and frame strip
    STARTUP_FIRST_FRAME,        // the main loop presented its first frame
    STARTUP_STEP_COUNT,
};

// Monotonic clock (CLOCK_MONOTONIC on Linux) in nanoseconds; 0 for a step
// not reached yet.
struct StartupTimes {
    int64_t ns[STARTUP_STEP_COUNT];
};

extern StartupTimes startup_times;

int64_t startup_clock_ns();

// Records the step's time; STARTUP_ENTERED also forgets the earlier steps.
void startup_time_mark(StartupStep step);
