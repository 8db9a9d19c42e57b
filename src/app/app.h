// Start-up, shutdown, the save folder's paths and the diagnostic log.
#pragma once

#include "common/log.h"
#include "common/settings.h"

// The save folder and its log file, set during start-up (the save file's
// path lives with the settings).
extern char app_folder_path[APP_PATH_CAPACITY];
extern char app_log_path[APP_PATH_CAPACITY];

// The program: start-up, main loop, shutdown. Returns the exit status of a
// failed start-up; a normal run ends in app_shutdown.
int app_main(int argc, char **argv);

// Start-up up to the main loop: save folder, log, archive, save file,
// command line, video and audio. True when the loop may run; otherwise
// *exit_status is the status to end the process with.
bool app_start(int argc, char **argv, int *exit_status);

// Defaults, the save file and the command line. Returns 1 to go on, 0 when a
// help or version option asks the program to stop.
int app_prepare_user_files(int argc, char **argv);

// Creates the folder when nothing exists at the path.
void ensure_folder(const char *path);

// Stops audio and the libraries.
void app_stop();

// app_stop, then exit with status 0.
[[noreturn]] void app_shutdown();
