// The single diagnostic operation every subsystem reports through.
#pragma once

// Silent unless the build enables NUMBRAL_LOG_STDERR, which prints each
// message on standard error.
void app_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
