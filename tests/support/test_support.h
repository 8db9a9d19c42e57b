// Helpers shared by the tests: temporary folders, archives, subprocesses.
#pragma once

#include "dataio/dataio.h"

#include <SDL.h>

#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it at destruction.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);
bool path_exists(const std::string &path);

// Writes entries into a ZIP at zip_path and makes it the only archive in the
// PhysFS search path (PhysFS is started when needed).
void mount_test_archive(const std::string &zip_path, const std::vector<ArchiveEntry> &entries);
void unmount_test_archives();

// Makes the fixture archive the only archive in the PhysFS search path.
void mount_fixture_archive();

// Video as the game draws it, with nothing shown: SDL with a hidden window,
// SDL's software renderer and the 64 x 36 canvas, then the fixture archive
// mounted. stop_test_video unmounts the archives and takes it all down.
void start_test_video();
void stop_test_video();

// Destroys the layer pictures and the level texture that level loads left,
// and clears the layers and the level state.
void release_level_textures();

// Queues an SDL event: a key (code = key symbol), a controller button
// (code = button), a window event (code = its kind) or any other type.
void push_test_event(Uint32 type, int code = 0);

struct ProcessResult {
    int exit_status = -1;   // -1 when killed by a signal or timed out
    std::string out;        // standard output
    std::string err;        // standard error
};

// Runs the program with the arguments in working_dir. The environment is
// the test's own without SDL_VIDEODRIVER, SDL_AUDIODRIVER, USERPROFILE, HOME,
// XDG_DATA_HOME, DISPLAY and WAYLAND_DISPLAY, plus the given "NAME=value"
// entries. Without a display a message box fails at once instead of waiting
// for a click. Killed after timeout_seconds.
ProcessResult run_process(const std::string &program, const std::vector<std::string> &arguments,
                          const std::vector<std::string> &environment, const std::string &working_dir,
                          int timeout_seconds = 60);
