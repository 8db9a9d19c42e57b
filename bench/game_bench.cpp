// Whole-game figures on the real start-up path and the shipped archive:
// start-up to the first presented frame and its steps, the wall time of
// load_level for every shipped level, CPU time per play frame with our own
// code's share separated from SDL's, allocations per play frame and the peak
// resident set. Each figure runs in child processes of this program, once on
// the software renderer and once on SDL's default one, beside a bare SDL
// program (window, renderer, 64 x 36 canvas, present) measured in the same
// run as the reference.
//
//   game_bench [ARCHIVE]      (default ./data.quob)
//
// The children are this program again with "--child KIND"; they print
// "name value" lines that the parent reads.
#include "bench_table.h"

#include "app/app.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "app/pause_menu.h"
#include "app/startup_times.h"
#include "common/controls.h"
#include "common/screen.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/player.h"
#include "world/world.h"

#include <SDL.h>
#include <execinfo.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Allocation counting: malloc and its kin are taken over for the whole
// process and handed to glibc's own entry points. Only allocations made on
// the game thread while a play frame runs are counted.

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
}

namespace {

std::atomic<bool> counting{false};
pthread_t game_thread;
int64_t frame_allocations = 0;
bool in_hook = false;  // the game thread only

// Up to this many different call chains of counted allocations are kept.
constexpr int SITE_CAPACITY = 8;
constexpr int SITE_DEPTH = 16;
struct AllocationSite {
    void *frames[SITE_DEPTH];
    int depth;
    int64_t count;
};
AllocationSite sites[SITE_CAPACITY];
int site_count = 0;

void note_allocation() {
    if (!counting.load(std::memory_order_relaxed) || !pthread_equal(pthread_self(), game_thread) || in_hook) return;
    in_hook = true;
    ++frame_allocations;
    void *frames[SITE_DEPTH];
    const int depth = backtrace(frames, SITE_DEPTH);
    bool known = false;
    for (int i = 0; i < site_count && !known; ++i) {
        if (sites[i].depth == depth && std::memcmp(sites[i].frames, frames, sizeof(void *) * depth) == 0) {
            ++sites[i].count;
            known = true;
        }
    }
    if (!known && site_count < SITE_CAPACITY) {
        AllocationSite &site = sites[site_count++];
        std::memcpy(site.frames, frames, sizeof(void *) * depth);
        site.depth = depth;
        site.count = 1;
    }
    in_hook = false;
}

}  // namespace

extern "C" {
void *malloc(size_t size) {
    note_allocation();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    note_allocation();
    return __libc_calloc(count, size);
}
void *realloc(void *block, size_t size) {
    note_allocation();
    return __libc_realloc(block, size);
}
void *memalign(size_t alignment, size_t size) {
    note_allocation();
    return __libc_memalign(alignment, size);
}
void *aligned_alloc(size_t alignment, size_t size) {
    note_allocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **result, size_t alignment, size_t size) {
    note_allocation();
    void *block = __libc_memalign(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}
}

// ---------------------------------------------------------------------------
// Time spent inside SDL, and in our frame's parts: the linker sends the game
// library's calls of these functions through the wrappers below
// (-Wl,--wrap, see CMakeLists.txt).

namespace {

int64_t now_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t thread_cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t process_cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

enum FramePart { PART_OTHER, PART_INPUT, PART_UPDATE, PART_DRAW, PART_PRESENT, PART_COUNT };

// Per frame: wall time in each part (inclusive) and SDL's wall time in it.
struct FrameSplit {
    int64_t part_ns[PART_COUNT];
    int64_t sdl_ns[PART_COUNT];
    int64_t sdl_calls;
};
FrameSplit split;
bool timing = false;
FramePart current_part = PART_OTHER;

// The mixer thread locks the same mutex as the game: only the game thread's
// calls count, and only those that began while timing.
struct SdlScope {
    int64_t start;
    SdlScope() : start(pthread_equal(pthread_self(), game_thread) && timing ? now_ns() : 0) {}
    ~SdlScope() {
        if (start == 0) return;
        split.sdl_ns[current_part] += now_ns() - start;
        ++split.sdl_calls;
    }
};

struct PartScope {
    FramePart saved;
    FramePart part;
    int64_t start;
    explicit PartScope(FramePart chosen) : saved(current_part), part(chosen), start(timing ? now_ns() : 0) {
        current_part = chosen;
    }
    ~PartScope() {
        current_part = saved;
        if (timing) split.part_ns[part] += now_ns() - start;
    }
};

}  // namespace

#define WRAP_SDL(result, name, parameters, arguments)    \
    extern "C" result __real_##name parameters;          \
    extern "C" result __wrap_##name parameters {         \
        SdlScope scope;                                  \
        return __real_##name arguments;                  \
    }

WRAP_SDL(int, SDL_RenderCopy, (SDL_Renderer * r, SDL_Texture *t, const SDL_Rect *s, const SDL_Rect *d), (r, t, s, d))
WRAP_SDL(int, SDL_RenderCopyEx,
         (SDL_Renderer * r, SDL_Texture *t, const SDL_Rect *s, const SDL_Rect *d, double a, const SDL_Point *c,
          SDL_RendererFlip f),
         (r, t, s, d, a, c, f))
WRAP_SDL(int, SDL_SetRenderDrawColor, (SDL_Renderer * r, Uint8 red, Uint8 g, Uint8 b, Uint8 a), (r, red, g, b, a))
WRAP_SDL(int, SDL_SetRenderDrawBlendMode, (SDL_Renderer * r, SDL_BlendMode m), (r, m))
WRAP_SDL(int, SDL_SetRenderTarget, (SDL_Renderer * r, SDL_Texture *t), (r, t))
WRAP_SDL(int, SDL_SetTextureAlphaMod, (SDL_Texture * t, Uint8 a), (t, a))
WRAP_SDL(int, SDL_SetTextureColorMod, (SDL_Texture * t, Uint8 red, Uint8 g, Uint8 b), (t, red, g, b))
WRAP_SDL(int, SDL_SetTextureBlendMode, (SDL_Texture * t, SDL_BlendMode m), (t, m))
WRAP_SDL(int, SDL_RenderFillRect, (SDL_Renderer * r, const SDL_Rect *rect), (r, rect))
WRAP_SDL(int, SDL_RenderDrawPoint, (SDL_Renderer * r, int x, int y), (r, x, y))
WRAP_SDL(int, SDL_RenderClear, (SDL_Renderer * r), (r))
WRAP_SDL(void, SDL_RenderPresent, (SDL_Renderer * r), (r))
WRAP_SDL(int, SDL_PollEvent, (SDL_Event * e), (e))
WRAP_SDL(int, SDL_LockMutex, (SDL_mutex * m), (m))
WRAP_SDL(int, SDL_UnlockMutex, (SDL_mutex * m), (m))

// Our functions are wrapped under their C++ names.
#define WRAP_PART(mangled, parameters, arguments, part) \
    extern "C" void __real_##mangled parameters;        \
    extern "C" void __wrap_##mangled parameters {       \
        PartScope scope(part);                          \
        __real_##mangled arguments;                     \
    }

WRAP_PART(_Z10input_pollv, (), (), PART_INPUT)
WRAP_PART(_Z12update_worldf, (float t), (t), PART_UPDATE)
WRAP_PART(_Z13update_playerf, (float t), (t), PART_UPDATE)
WRAP_PART(_Z13update_cameraf, (float t), (t), PART_UPDATE)
WRAP_PART(_Z10draw_worldv, (), (), PART_DRAW)
WRAP_PART(_Z8hud_drawv, (), (), PART_DRAW)
WRAP_PART(_Z13video_presentv, (), (), PART_PRESENT)

namespace {

// ---------------------------------------------------------------------------
// Children

constexpr int SHIPPED_LEVELS[] = {0, 3, 4, 5, 6, 7};
constexpr int LOADS_PER_LEVEL = 5;
constexpr int WARM_FRAMES = 30;
constexpr int MEASURED_FRAMES = 600;
constexpr int BARE_FRAMES = 600;
constexpr uint32_t FRAME_MS = 16;

int64_t start_ns() {
    const char *text = std::getenv("NUMBRAL_BENCH_T0");
    return text ? std::strtoll(text, nullptr, 10) : now_ns();
}

void say(const char *name, double value) {
    std::printf("%s %.6f\n", name, value);
}

int64_t peak_resident_kb() {
    std::FILE *file = std::fopen("/proc/self/status", "r");
    if (!file) return 0;
    char line[256];
    int64_t kb = 0;
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtoll(line + 6, nullptr, 10);
    }
    std::fclose(file);
    return kb;
}

const char *renderer_name() {
    SDL_RendererInfo info;
    if (renderer && SDL_GetRendererInfo(renderer, &info) == 0) return info.name;
    return "none";
}

// The game's start-up as the program runs it, up to its first frame.
int child_startup() {
    const int64_t t0 = start_ns();
    char name[] = "numbral";
    char *arguments[] = {name, nullptr};
    int status = 0;
    if (!app_start(1, arguments, &status)) return 1;
    main_loop_start();
    main_loop_frame();
    const int64_t *t = startup_times.ns;
    const auto ms = [](int64_t from, int64_t to) { return (to - from) / 1e6; };
    say("process", ms(t0, t[STARTUP_ENTERED]));
    say("mount", ms(t[STARTUP_ENTERED], t[STARTUP_ARCHIVE_MOUNTED]));
    say("user_files", ms(t[STARTUP_ARCHIVE_MOUNTED], t[STARTUP_USER_FILES_READ]));
    say("video", ms(t[STARTUP_USER_FILES_READ], t[STARTUP_VIDEO_STARTED]));
    say("bank", ms(t[STARTUP_VIDEO_STARTED], t[STARTUP_SOUND_BANK_LOADED]));
    say("sheets", ms(t[STARTUP_SOUND_BANK_LOADED], t[STARTUP_SHEETS_LOADED]));
    say("cutscene", ms(t[STARTUP_SHEETS_LOADED], t[STARTUP_CUTSCENE_STARTED]));
    say("first_frame", ms(t[STARTUP_CUTSCENE_STARTED], t[STARTUP_FIRST_FRAME]));
    say("loading_shown", ms(t0, t[STARTUP_VIDEO_STARTED]));
    say("total", ms(t0, t[STARTUP_FIRST_FRAME]));
    std::printf("renderer %s\n", renderer_name());
    std::fflush(stdout);
    app_stop();
    return 0;
}

// A bare SDL program: window, renderer, canvas, one present; then frames
// that clear the canvas and present it.
int child_bare() {
    const int64_t t0 = start_ns();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    SDL_Window *w = SDL_CreateWindow("bare", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 360, SDL_WINDOW_SHOWN);
    SDL_Renderer *r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE) : nullptr;
    SDL_Texture *c = r ? SDL_CreateTexture(r, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, 64, 36) : nullptr;
    if (!c) return 1;
    const auto frame = [&] {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
        SDL_SetRenderTarget(r, c);
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        SDL_SetRenderTarget(r, nullptr);
        SDL_RenderClear(r);
        SDL_RenderCopy(r, c, nullptr, nullptr);
        SDL_RenderPresent(r);
    };
    frame();
    say("total", (now_ns() - t0) / 1e6);
    std::vector<double> cpu;
    for (int i = 0; i < WARM_FRAMES + BARE_FRAMES; ++i) {
        const int64_t before = thread_cpu_ns();
        frame();
        if (i >= WARM_FRAMES) cpu.push_back((thread_cpu_ns() - before) / 1e6);
    }
    std::sort(cpu.begin(), cpu.end());
    say("frame_median", cpu[cpu.size() / 2]);
    say("peak_kb", double(peak_resident_kb()));
    std::fflush(stdout);
    SDL_Quit();
    return 0;
}

// The play child's frame clock: 16 ms a frame, no waiting.
uint32_t virtual_ticks = 0;
uint32_t bench_ticks() { return virtual_ticks; }
void bench_delay(uint32_t) {}

struct KeyState {
    SDL_Keycode code;
    bool down;
};
KeyState keys[] = {{SDLK_LEFT, false}, {SDLK_RIGHT, false}, {SDLK_LSHIFT, false}, {SDLK_SPACE, false}};

void set_key(KeyState &key, bool down) {
    if (key.down == down) return;
    input_push_key(key.code, down);
    key.down = down;
}

// The player runs right for 100 frames, left for 100, stands for 40;
// jumps twice on each run and shoots every 8 frames.
void steer(int frame) {
    const int phase = frame % 240;
    set_key(keys[1], phase < 100);
    set_key(keys[0], phase >= 100 && phase < 200);
    const int run = phase % 100;
    set_key(keys[2], phase < 200 && ((run >= 20 && run < 35) || (run >= 60 && run < 75)));
    set_key(keys[3], frame % 8 == 0);
}

void release_keys() {
    for (KeyState &key : keys) set_key(key, false);
}

// Back to play on the level: a cutscene a trigger started ends without
// following its target, the menu closes, the level loads again.
void return_to(int level) {
    if (cutscene_active) {
        cutscene_playback.has_target = false;
        cutscene_end();
    }
    paused = false;
    load_level(level, 0, false);
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

struct LevelFigures {
    double area = 0;
    double load_first_ms = 0, load_median_ms = 0;
    double cpu_median_ms = 0, cpu_p99_ms = 0;
    double ours_share = 0, update_share = 0, draw_share = 0;
    double sdl_calls = 0;
    int64_t allocations = 0;
    int frames = 0;
};

LevelFigures play_level(int level) {
    LevelFigures figures;
    std::vector<double> loads;
    for (int i = 0; i < LOADS_PER_LEVEL; ++i) {
        const int64_t start = now_ns();
        return_to(level);
        loads.push_back((now_ns() - start) / 1e6);
    }
    figures.load_first_ms = loads[0];
    figures.load_median_ms = percentile(loads, 0.5);
    figures.area = double(level_state.level_width) * level_state.level_height;

    std::vector<double> cpu;
    int64_t wall_sum = 0, sdl_sum = 0, update_sum = 0, update_sdl = 0, draw_sum = 0, draw_sdl = 0, calls = 0;
    for (int frame = 0; frame < WARM_FRAMES + MEASURED_FRAMES; ++frame) {
        steer(frame);
        const bool measured = frame >= WARM_FRAMES;
        virtual_ticks += FRAME_MS;
        split = {};
        frame_allocations = 0;
        timing = measured;
        counting.store(measured);
        const int64_t cpu_before = thread_cpu_ns();
        const int64_t wall_before = now_ns();
        main_loop_frame();
        const int64_t wall = now_ns() - wall_before;
        const int64_t cpu_used = thread_cpu_ns() - cpu_before;
        counting.store(false);
        timing = false;
        // A frame that left play on this level (a trigger's cutscene, a
        // level exit, a respawn elsewhere) is a level change, not a play
        // frame: it is measured by the load figures.
        if (cutscene_active || paused || level_state.level != level) {
            return_to(level);
            continue;
        }
        if (!measured) continue;
        cpu.push_back(cpu_used / 1e6);
        figures.allocations += frame_allocations;
        int64_t sdl = 0;
        for (int64_t ns : split.sdl_ns) sdl += ns;
        wall_sum += wall;
        sdl_sum += sdl;
        update_sum += split.part_ns[PART_UPDATE];
        update_sdl += split.sdl_ns[PART_UPDATE];
        draw_sum += split.part_ns[PART_DRAW];
        draw_sdl += split.sdl_ns[PART_DRAW];
        calls += split.sdl_calls;
    }
    release_keys();
    figures.frames = int(cpu.size());
    figures.cpu_median_ms = percentile(cpu, 0.5);
    figures.cpu_p99_ms = percentile(cpu, 0.99);
    if (wall_sum > 0) {
        figures.ours_share = double(wall_sum - sdl_sum) / double(wall_sum);
        figures.update_share = double(update_sum - update_sdl) / double(wall_sum);
        figures.draw_share = double(draw_sum - draw_sdl) / double(wall_sum);
    }
    if (figures.frames > 0) figures.sdl_calls = double(calls) / figures.frames;
    return figures;
}

int child_play() {
    char name[] = "numbral";
    char *arguments[] = {name, nullptr};
    int status = 0;
    if (!app_start(1, arguments, &status)) return 1;
    game_thread = pthread_self();
    void *warm[2];
    backtrace(warm, 2);  // loads the unwinder before any frame is counted
    frame_clock = {bench_ticks, bench_delay};
    main_loop_start();
    for (int i = 0; i < 120; ++i) {  // the opening cutscene, as a player sees it
        virtual_ticks += FRAME_MS;
        main_loop_frame();
    }
    const int64_t process_before = process_cpu_ns();
    const int64_t thread_before = thread_cpu_ns();
    const int64_t wall_before = now_ns();
    for (int level : SHIPPED_LEVELS) {
        const LevelFigures f = play_level(level);
        std::printf("level %d area %.0f load_first %.3f load_median %.3f cpu_median %.4f cpu_p99 %.4f ours %.4f "
                    "update %.4f draw %.4f sdl_calls %.1f allocations %lld frames %d\n",
                    level, f.area, f.load_first_ms, f.load_median_ms, f.cpu_median_ms, f.cpu_p99_ms, f.ours_share,
                    f.update_share, f.draw_share, f.sdl_calls, static_cast<long long>(f.allocations), f.frames);
    }
    const double wall_s = (now_ns() - wall_before) / 1e9;
    const double others_ms = ((process_cpu_ns() - process_before) - (thread_cpu_ns() - thread_before)) / 1e6;
    say("other_threads_ms_per_s", others_ms / wall_s);
    say("peak_kb", double(peak_resident_kb()));
    std::printf("renderer %s\n", renderer_name());
    for (int i = 0; i < site_count; ++i) {
        std::printf("allocation site %d: %lld allocations\n", i, static_cast<long long>(sites[i].count));
        std::fflush(stdout);
        backtrace_symbols_fd(sites[i].frames, sites[i].depth, STDOUT_FILENO);
    }
    std::fflush(stdout);
    app_stop();
    return 0;
}

// ---------------------------------------------------------------------------
// The parent

struct Renderer {
    const char *name;   // in the table
    bool software;
};
const Renderer RENDERERS[] = {{"software renderer", true}, {"default renderer", false}};

std::string self_path;
std::string run_folder;

// Runs one child in the run folder and returns its output lines.
std::vector<std::string> run_child(const char *kind, const Renderer &renderer) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) std::exit(1);
    std::fflush(stdout);
    const std::string t0 = std::to_string(now_ns());
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        if (chdir(run_folder.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (renderer.software) {
            setenv("SDL_RENDER_DRIVER", "software", 1);
            setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        } else {
            unsetenv("SDL_RENDER_DRIVER");
            unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
        }
        setenv("USERPROFILE", (run_folder + "/profile").c_str(), 1);
        setenv("XDG_DATA_HOME", run_folder.c_str(), 1);
        setenv("NUMBRAL_BENCH_T0", t0.c_str(), 1);
        execl(self_path.c_str(), self_path.c_str(), "--child", kind, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    std::string output;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(got));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "game_bench: the %s child on the %s failed:\n%s\n", kind, renderer.name, output.c_str());
        std::exit(1);
    }
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < output.size()) {
        size_t end = output.find('\n', from);
        if (end == std::string::npos) end = output.size();
        lines.push_back(output.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

// "name value" lines into a map; other lines are kept apart.
std::map<std::string, double> values_of(const std::vector<std::string> &lines, std::vector<std::string> *rest) {
    std::map<std::string, double> values;
    for (const std::string &line : lines) {
        const size_t space = line.find(' ');
        char *end = nullptr;
        const double value = space == std::string::npos ? 0 : std::strtod(line.c_str() + space + 1, &end);
        if (space != std::string::npos && end && *end == '\0' && line.find(' ', space + 1) == std::string::npos) {
            values[line.substr(0, space)] = value;
        } else if (rest) {
            rest->push_back(line);
        }
    }
    return values;
}

constexpr int STARTUP_RUNS = 5;
constexpr double STARTUP_GOAL_MS = 250;
constexpr double LOAD_GOAL_MS = 16;
constexpr double FRAME_GOAL_MS = 1.3;
constexpr double OURS_GOAL = 0.10;
constexpr double PEAK_GOAL_MB = 80;

const char *const STEP_NAMES[][2] = {
    {"process", "process start, libraries, save folder"},
    {"mount", "archive mount"},
    {"user_files", "settings file and command line"},
    {"video", "SDL, window, renderer, \"Loading...\""},
    {"bank", "sound bank (22 sounds decoded)"},
    {"sheets", "sprite sheets"},
    {"cutscene", "first cutscene"},
    {"first_frame", "first frame drawn and presented"},
};

std::string ms_text(double ms) {
    return bench_format(ms < 1 ? "%.3f ms" : "%.1f ms", ms);
}

void startup_rows(const Renderer &renderer) {
    run_child("startup", renderer);  // warms the file cache and makes the save folder
    std::map<std::string, std::vector<double>> game, bare;
    std::string name;
    for (int run = 0; run < STARTUP_RUNS; ++run) {  // the game and the reference take turns
        std::vector<std::string> rest;
        for (const auto &[key, value] : values_of(run_child("startup", renderer), &rest)) game[key].push_back(value);
        for (const std::string &line : rest)
            if (line.rfind("renderer ", 0) == 0) name = line.substr(9);
        for (const auto &[key, value] : values_of(run_child("bare", renderer), nullptr)) bare[key].push_back(value);
    }
    const double total = percentile(game["total"], 0.5), reference = percentile(bare["total"], 0.5);
    bench_table_add({bench_format("start-up to first frame, %s (SDL: %s), median of %d", renderer.name, name.c_str(),
                                  STARTUP_RUNS),
                     ms_text(total), "bare SDL window " + ms_text(reference), total / reference, "<= 250 ms",
                     bench_at_most(total, STARTUP_GOAL_MS)});
    for (const auto &step : STEP_NAMES) {
        bench_table_add({std::string("  start-up step: ") + step[1], ms_text(percentile(game[step[0]], 0.5)), "", 0,
                         "", VERDICT_NONE});
    }
}

struct PlayResult {
    std::map<int, std::map<std::string, double>> levels;
    double peak_mb = 0, others_ms_per_s = 0, bare_frame_ms = 0, bare_peak_mb = 0;
    std::string sdl_name;
    std::vector<std::string> allocation_report;
};

PlayResult play(const Renderer &renderer) {
    PlayResult result;
    std::vector<std::string> rest;
    const auto values = values_of(run_child("play", renderer), &rest);
    result.peak_mb = values.count("peak_kb") ? values.at("peak_kb") / 1024 : 0;
    result.others_ms_per_s = values.count("other_threads_ms_per_s") ? values.at("other_threads_ms_per_s") : 0;
    for (const std::string &line : rest) {
        if (line.rfind("renderer ", 0) == 0) {
            result.sdl_name = line.substr(9);
        } else if (line.rfind("level ", 0) == 0) {
            // "level N key value key value ..."
            std::vector<std::string> words;
            size_t from = 0;
            while (from <= line.size()) {
                size_t end = line.find(' ', from);
                if (end == std::string::npos) end = line.size();
                words.push_back(line.substr(from, end - from));
                from = end + 1;
            }
            const int level = std::atoi(words[1].c_str());
            for (size_t i = 2; i + 1 < words.size(); i += 2) result.levels[level][words[i]] = std::atof(words[i + 1].c_str());
        } else if (!line.empty()) {
            result.allocation_report.push_back(line);
        }
    }
    const auto bare = values_of(run_child("bare", renderer), nullptr);
    result.bare_frame_ms = bare.count("frame_median") ? bare.at("frame_median") : 0;
    result.bare_peak_mb = bare.count("peak_kb") ? bare.at("peak_kb") / 1024 : 0;
    return result;
}

void play_rows(const Renderer &renderer, const PlayResult &r) {
    int slowest = -1, largest = -1;
    double slowest_ms = -1, largest_area = -1, allocations = 0, frames = 0;
    for (const auto &[level, v] : r.levels) {
        if (v.at("load_median") > slowest_ms) slowest_ms = v.at("load_median"), slowest = level;
        if (v.at("area") > largest_area) largest_area = v.at("area"), largest = level;
        allocations += v.at("allocations");
        frames += v.at("frames");
    }
    if (largest < 0) return;
    const auto &big = r.levels.at(largest);
    const std::string sdl = " (SDL: " + r.sdl_name + ")";
    bench_table_add({bench_format("level load, slowest: level %d, %s", slowest, renderer.name), ms_text(slowest_ms), "",
                     0, "<= 16 ms", bench_at_most(slowest_ms, LOAD_GOAL_MS)});
    std::string loads;
    for (const auto &[level, v] : r.levels) loads += bench_format("%s%d: %.1f", loads.empty() ? "" : ", ", level, v.at("load_median"));
    bench_table_add({"  level loads in ms, median of 5 (level: ms)", loads, "", 0, "", VERDICT_NONE});
    const bool goal = renderer.software;
    bench_table_add({bench_format("play frame CPU, median, largest level %d, %s", largest, renderer.name) + sdl,
                     ms_text(big.at("cpu_median")), "bare SDL frame " + ms_text(r.bare_frame_ms),
                     r.bare_frame_ms > 0 ? big.at("cpu_median") / r.bare_frame_ms : 0, goal ? "<= 1.3 ms" : "",
                     goal ? bench_at_most(big.at("cpu_median"), FRAME_GOAL_MS) : VERDICT_NONE});
    bench_table_add({bench_format("play frame CPU, 99th percentile, level %d", largest), ms_text(big.at("cpu_p99")), "",
                     0, "", VERDICT_NONE});
    bench_table_add({bench_format("our own code's share of the frame, level %d", largest),
                     bench_format("%.1f%% (update %.1f%%, drawing calls %.1f%%)", 100 * big.at("ours"),
                                  100 * big.at("update"), 100 * big.at("draw")),
                     "", 0, goal ? "<= 10%" : "", goal ? bench_at_most(big.at("ours"), OURS_GOAL) : VERDICT_NONE});
    std::string frames_by_level;
    for (const auto &[level, v] : r.levels)
        frames_by_level += bench_format("%s%d: %.2f/%.2f/%.0f%%", frames_by_level.empty() ? "" : ", ", level,
                                        v.at("cpu_median"), v.at("cpu_p99"), 100 * v.at("ours"));
    bench_table_add({"  frames by level (level: median/p99 ms/our share)", frames_by_level, "", 0, "", VERDICT_NONE});
    bench_table_add({"allocations per play frame, " + std::string(renderer.name),
                     bench_format("%.3f (%.0f in %.0f frames)", frames > 0 ? allocations / frames : 0, allocations,
                                  frames),
                     "", 0, "0", allocations == 0 ? VERDICT_MET : VERDICT_MISSED});
    bench_table_add({"peak resident set, playthrough, " + std::string(renderer.name), bench_format("%.1f MB", r.peak_mb),
                     bench_format("bare SDL window %.1f MB", r.bare_peak_mb),
                     r.bare_peak_mb > 0 ? r.peak_mb / r.bare_peak_mb : 0, "<= 80 MB",
                     bench_at_most(r.peak_mb, PEAK_GOAL_MB)});
    bench_table_add({"  other threads, CPU (mixer, audio device, and the GL driver's)", bench_format("%.1f ms per s", r.others_ms_per_s), "", 0, "",
                     VERDICT_NONE});
    for (const std::string &line : r.allocation_report) std::printf("  %s\n", line.c_str());
}

void remove_run_folder() {
    if (run_folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(run_folder, ignored);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        if (std::strcmp(argv[2], "startup") == 0) return child_startup();
        if (std::strcmp(argv[2], "bare") == 0) return child_bare();
        if (std::strcmp(argv[2], "play") == 0) return child_play();
        return 2;
    }
    std::error_code error;
    const std::string archive = std::filesystem::absolute(argc > 1 ? argv[1] : "data.quob", error).string();
    if (!std::filesystem::is_regular_file(archive, error)) {
        std::fprintf(stderr, "game_bench: no archive %s\n", archive.c_str());
        return 1;
    }
    self_path = std::filesystem::canonical("/proc/self/exe", error).string();
    char pattern[] = "/tmp/numbral-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    run_folder = pattern;
    std::atexit(remove_run_folder);
    std::filesystem::create_directory(run_folder + "/profile", error);
    std::filesystem::create_symlink(archive, run_folder + "/data.quob", error);
    if (error) return 1;

    for (const Renderer &renderer : RENDERERS) {
        std::printf("== %s\n", renderer.name);
        startup_rows(renderer);
        play_rows(renderer, play(renderer));
    }
    return 0;
}
