// numbral-script [--archive FILE] [--profile DIR] [--shots DIR] [--time] SCRIPT...
//
// Starts the game as the program does (save folder, archive, settings,
// video, audio), headless unless the environment names SDL drivers, and
// plays the scripts one after another. The game mounts "./data.quob" from
// its working folder, so the runner works from a fresh temporary folder that
// holds a link to the chosen archive; the profile folder is a temporary one
// too unless --profile names one. --time prints, at the end, the game time
// played and the wall time it took.
#include "script.h"

#include "app/app.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char USAGE[] = "usage: numbral-script [--archive FILE] [--profile DIR] [--shots DIR] [--time] SCRIPT...\n";

// The temporary folder, removed however the process ends.
std::string run_folder;

void remove_run_folder() {
    if (run_folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(run_folder, ignored);
    run_folder.clear();
}

int fail(const std::string &message) {
    std::fprintf(stderr, "numbral-script: %s\n", message.c_str());
    return 2;
}

std::string absolute(const std::string &path) {
    std::error_code ignored;
    const fs::path result = fs::absolute(path, ignored);
    return result.empty() ? path : result.lexically_normal().string();
}

bool make_run_folder() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/numbral-script-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return false;
    run_folder = name.data();
    std::atexit(remove_run_folder);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    std::string archive = "data.quob";
    std::string profile;
    std::string shots = ".";
    std::vector<std::string> scripts;
    bool print_time = false;
    const auto wall_start = std::chrono::steady_clock::now();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--archive" && has_value) {
            archive = argv[++i];
        } else if (argument == "--profile" && has_value) {
            profile = argv[++i];
        } else if (argument == "--shots" && has_value) {
            shots = argv[++i];
        } else if (argument == "--time") {
            print_time = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::fputs(USAGE, stderr);
            return 2;
        } else {
            scripts.push_back(argument);
        }
    }
    if (scripts.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }

    // Every script is read before the game starts, so that a slip on the
    // last line does not cost a whole run.
    std::vector<ScriptCommand> commands;
    for (const std::string &script : scripts) {
        std::string error;
        if (!script_parse_file(script, &commands, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }

    archive = absolute(archive);
    shots = absolute(shots);
    std::error_code error;
    if (!fs::is_regular_file(archive, error)) return fail("cannot find the archive " + archive);
    if (!fs::is_directory(shots, error)) return fail("cannot find the shots folder " + shots);
    if (!make_run_folder()) return fail(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    if (profile.empty()) {
        profile = run_folder + "/profile";
        fs::create_directory(profile, error);
    } else {
        profile = absolute(profile);
    }
    if (!fs::is_directory(profile, error)) return fail("cannot find the profile folder " + profile);
    fs::create_symlink(archive, run_folder + "/data.quob", error);
    if (error) return fail("cannot link the archive: " + error.message());
    if (chdir(run_folder.c_str()) != 0) return fail(std::string("cannot enter ") + run_folder + ": " + std::strerror(errno));

    // Headless unless the caller chose drivers. The game's save folder lies
    // in the profile; the archive library's own folder in the run folder.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);  // no GL driver behind the window
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("USERPROFILE", profile.c_str(), 1);
    setenv("XDG_DATA_HOME", run_folder.c_str(), 1);

    char *game_arguments[] = {argv[0], nullptr};
    int status = 0;
    if (!app_start(1, game_arguments, &status)) return fail("the game did not start");

    uint64_t game_ms = 0;
    ScriptOptions options;
    options.shots_folder = shots;
    options.game_ms = &game_ms;
    status = script_run(commands, options);
    app_stop();
    if (print_time) {
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_start;
        std::printf("game time %.1f s, wall time %.1f s\n", static_cast<double>(game_ms) / 1000.0, wall.count());
    }
    return status;
}
