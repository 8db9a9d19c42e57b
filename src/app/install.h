// Where the game finds its files when it starts from any folder: the data
// archive relative to its executable, and the players' controller mappings.
#pragma once

// Set by the game's own entry: start-up then also looks for the archive
// from the executable's folder. Programs that start the game on an archive
// of their choice (the script runner, the tests) leave it clear, so that
// nothing fills in what their archive lacks.
extern bool install_search_executable_folder;

// Mounts "./data.quob", then, when install_search_executable_folder is set,
// the archive found from the executable's folder (install_mount_archives_from).
void install_mount_archives();

// Mounts "./data.quob" as the game always has, then appends the first of
// "FOLDER/data.quob" (beside the executable) and
// "FOLDER/../share/numbral/data.quob" (an installed tree) that mounts, so
// files in "./data.quob" win. A null folder looks no further than the
// current one. Returns the number of archives mounted.
int install_mount_archives_from(const char *executable_folder);

// Loads the controller mappings in "gamecontrollerdb.txt" beside each
// archive that mounted, then in the save folder, so that the player's own
// lines win. Must run before SDL starts its controller subsystem: a pad
// plugged in at start is reported as a controller only when its mapping is
// known by then. A file that SDL cannot read goes to app_log. Returns the
// number of files loaded.
int install_add_controller_mappings(const char *save_folder);
