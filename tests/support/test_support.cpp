#include "support/test_support.h"

#include "common/screen.h"
#include "resources/archive.h"
#include "world/world.h"

#include <gtest/gtest.h>
#include <physfs.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

TempDir::TempDir() {
    char pattern[] = "/tmp/numbral-test-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made) std::abort();
    path = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool path_exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

void unmount_test_archives() {
    if (!PHYSFS_isInit()) return;
    char **paths = PHYSFS_getSearchPath();
    std::vector<std::string> mounted;
    for (char **p = paths; p && *p; ++p) mounted.push_back(*p);
    PHYSFS_freeList(paths);
    for (const std::string &p : mounted) PHYSFS_unmount(p.c_str());
}

void mount_fixture_archive() {
    if (!PHYSFS_isInit()) {
        ASSERT_TRUE(archive_init(nullptr));
    }
    unmount_test_archives();
    ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
}

void start_test_video() {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window = SDL_CreateWindow("numbral test", 0, 0, 640, 360, SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
    ASSERT_NE(renderer, nullptr) << SDL_GetError();
    canvas = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, CANVAS_WIDTH,
                               CANVAS_HEIGHT);
    ASSERT_NE(canvas, nullptr) << SDL_GetError();
    mount_fixture_archive();
}

void stop_test_video() {
    unmount_test_archives();
    if (canvas) SDL_DestroyTexture(canvas);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    canvas = nullptr;
    renderer = nullptr;
    window = nullptr;
    SDL_Quit();
}

void release_level_textures() {
    for (Layer *layer : {&RearBG, &BG, &FG}) {
        if (layer->texture) SDL_DestroyTexture(layer->texture);
        *layer = {};
    }
    if (level_state.level_texture) SDL_DestroyTexture(level_state.level_texture);
    level_state = {};
}

void mount_test_archive(const std::string &zip_path, const std::vector<ArchiveEntry> &entries) {
    std::string error;
    ASSERT_TRUE(dataio_write_zip(zip_path, entries, &error)) << error;
    if (!PHYSFS_isInit()) {
        ASSERT_TRUE(archive_init(nullptr));
    }
    unmount_test_archives();
    ASSERT_NE(PHYSFS_mount(zip_path.c_str(), nullptr, 1), 0) << PHYSFS_getLastErrorCode();
}

void push_test_event(Uint32 type, int code) {
    SDL_Event event = {};
    event.type = type;
    if (type == SDL_KEYDOWN || type == SDL_KEYUP) event.key.keysym.sym = code;
    if (type == SDL_CONTROLLERBUTTONDOWN || type == SDL_CONTROLLERBUTTONUP) {
        event.cbutton.button = static_cast<Uint8>(code);
    }
    if (type == SDL_WINDOWEVENT) event.window.event = static_cast<Uint8>(code);
    SDL_PushEvent(&event);
}

static void read_available(int fd, std::string *into, bool *open) {
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into->append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        *open = false;
    }
}

ProcessResult run_process(const std::string &program, const std::vector<std::string> &arguments,
                          const std::vector<std::string> &environment, const std::string &working_dir,
                          int timeout_seconds) {
    static const char *const removed[] = {"SDL_VIDEODRIVER=", "SDL_AUDIODRIVER=", "USERPROFILE=", "HOME=",
                                          "XDG_DATA_HOME=",    "DISPLAY=",         "WAYLAND_DISPLAY="};
    std::vector<std::string> env_strings;
    for (char **e = environ; *e; ++e) {
        bool keep = true;
        for (const char *prefix : removed) keep = keep && std::strncmp(*e, prefix, std::strlen(prefix)) != 0;
        if (keep) env_strings.push_back(*e);
    }
    for (const std::string &e : environment) env_strings.push_back(e);
    std::vector<char *> env_pointers;
    for (std::string &e : env_strings) env_pointers.push_back(e.data());
    env_pointers.push_back(nullptr);

    std::vector<std::string> argv_strings = {program};
    argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv_pointers;
    for (std::string &a : argv_strings) argv_pointers.push_back(a.data());
    argv_pointers.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    ProcessResult result;
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        if (chdir(working_dir.c_str()) != 0) _exit(127);
        execve(program.c_str(), argv_pointers.data(), env_pointers.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    bool out_open = true, err_open = true, killed = false;
    while (out_open || err_open) {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        const int ready = poll(fds, 2, 100);
        if (ready > 0) {
            if (out_open && (fds[0].revents & (POLLIN | POLLHUP))) read_available(out_pipe[0], &result.out, &out_open);
            if (err_open && (fds[1].revents & (POLLIN | POLLHUP))) read_available(err_pipe[0], &result.err, &err_open);
        }
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            killed = true;
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exit_status = (!killed && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

// Libraries stay loaded until the test program exits: the leak checker can
// then still see what the graphics drivers keep in their globals, instead of
// reporting it as lost when SDL unloads them.
extern "C" int dlclose(void *) {
    return 0;
}
