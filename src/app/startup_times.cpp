#include "app/startup_times.h"

#include <chrono>

StartupTimes startup_times;

int64_t startup_clock_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void startup_time_mark(StartupStep step) {
    if (step == STARTUP_ENTERED) startup_times = {};
    startup_times.ns[step] = startup_clock_ns();
}
