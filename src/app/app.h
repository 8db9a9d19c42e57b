// Start-up, shutdown, the save folder's paths and the diagnostic log.
#pragma once

constexpr int APP_PATH_CAPACITY = 4096;

// Cleared by "--nosound": audio still starts, but nothing is ever played.
extern bool sound_enabled;

// The save folder and the two files in it, set during start-up.
extern char app_folder_path[APP_PATH_CAPACITY];
extern char app_log_path[APP_PATH_CAPACITY];
extern char app_save_path[APP_PATH_CAPACITY];

// The program: start-up, main loop, shutdown. Returns the exit status of a
// failed start-up; a normal run ends in app_shutdown.
int app_main(int argc, char **argv);

// Defaults, the save file and the command line. Returns 1 to go on, 0 when a
// help or version option asks the program to stop.
int app_prepare_user_files(int argc, char **argv);

// Creates the folder when nothing exists at the path.
void ensure_folder(const char *path);

// The single diagnostic operation. Silent unless the build enables
// NUMBRAL_LOG_STDERR, which prints each message on standard error.
void app_log(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Stops audio and the libraries and exits with status 0.
[[noreturn]] void app_shutdown();
