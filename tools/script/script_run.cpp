// Running a script on the started game: a frame clock that advances by the
// script's frame length without waiting, keys as SDL keyboard events through
// the game's own input pump, and the fields read from the game's records.
#include "script.h"

#include "app/input.h"
#include "app/main_loop.h"
#include "app/pause_menu.h"
#include "common/controls.h"
#include "common/screen.h"
#include "common/settings.h"
#include "dataio/dataio.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/player.h"
#include "world/world.h"

#include <SDL.h>

#include <charconv>
#include <cstdio>
#include <fstream>

namespace {

constexpr uint32_t DEFAULT_FRAME_MS = 16;
constexpr int SHOT_SCALE = 10;

uint32_t virtual_ticks = 0;
uint32_t frame_ms = DEFAULT_FRAME_MS;

uint32_t script_ticks() { return virtual_ticks; }
void script_delay(uint32_t) {}

const char *const MODE_WORDS[] = {"play", "cutscene", "pause"};

ScriptMode current_mode() {
    if (cutscene_active) return MODE_CUTSCENE;
    if (paused) return MODE_PAUSE;
    return MODE_PLAY;
}

int32_t active_enemies() {
    int32_t active = 0;
    for (int32_t i = 0; i < enemy_count && i < ENEMY_CAPACITY; ++i) active += enemies[i].active ? 1 : 0;
    return active;
}

// The float fields; every other field is a whole number (or the mode).
const float *float_field(ScriptField field) {
    switch (field) {
    case FIELD_PLAYER_X: return &player.x;
    case FIELD_PLAYER_Y: return &player.y;
    case FIELD_PLAYER_VY: return &player.vy;
    case FIELD_CAMERA_X: return &level_state.camera_x;
    case FIELD_CAMERA_Y: return &level_state.camera_y;
    case FIELD_BOSS_TIMER: return &boss.timer;
    case FIELD_TITLE_TIMER: return &level_state.title_timer;
    default: return nullptr;
    }
}

int64_t whole_field(ScriptField field, int64_t frame) {
    switch (field) {
    case FIELD_FRAME: return frame;
    case FIELD_MODE: return current_mode();
    case FIELD_CUTSCENE: return cutscene_active ? cutscene_number : 0;
    case FIELD_LEVEL: return level_state.level;
    case FIELD_PLAYER_STATE: return player.state;
    case FIELD_PLAYER_HEALTH: return player.health;
    case FIELD_PLAYER_LIVES: return player.lives;
    case FIELD_PLAYER_FACING: return player.facing;
    case FIELD_SAVELEVEL: return settings.savelevel;
    case FIELD_SAVECHECKPOINT: return settings.savecheckpoint;
    case FIELD_BUTTSTOMP: return settings.buttstomp ? 1 : 0;
    case FIELD_ENEMIES: return active_enemies();
    case FIELD_QUIT: return quit_requested ? 1 : 0;
    default: return 0;
    }
}

// The shortest text that reads back as the same float.
std::string float_text(float value) {
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

struct KeyCode {
    ScriptKey key;
    SDL_Keycode code;
};
// The arrow keys, Left Shift, Space, Escape and F11 of the keyboard table.
const KeyCode KEY_CODES[SCRIPT_KEY_COUNT] = {
    {KEY_LEFT, SDLK_LEFT},   {KEY_RIGHT, SDLK_RIGHT}, {KEY_UP, SDLK_UP},         {KEY_DOWN, SDLK_DOWN},
    {KEY_JUMP, SDLK_LSHIFT}, {KEY_SHOOT, SDLK_SPACE}, {KEY_PAUSE, SDLK_ESCAPE}, {KEY_F11, SDLK_F11},
};

struct Runner {
    explicit Runner(const ScriptOptions &chosen) : options(chosen) {}

    const ScriptOptions &options;
    int64_t frame = 0;
    uint32_t held = 0;
    bool game_over = false;  // the game's own quit ended the loop
    std::string error;       // why a command could not be carried out

    // One frame of the real loop; false once the game has quit.
    bool run_frame() {
        virtual_ticks += frame_ms;
        if (!main_loop_frame()) {
            game_over = true;
            return false;
        }
        ++frame;
        return true;
    }

    bool run_frames(int64_t count) {
        for (int64_t i = 0; i < count; ++i) {
            if (!run_frame()) return false;
        }
        return true;
    }

    bool push_keys(uint32_t keys, bool down) {
        for (const KeyCode &key : KEY_CODES) {
            if (!(keys & key.key) || ((held & key.key) != 0) == down) continue;
            if (!input_push_key(key.code, down)) {
                error = std::string("cannot queue a key event: ") + SDL_GetError();
                return false;
            }
            held = down ? (held | key.key) : (held & ~key.key);
        }
        return true;
    }

    // Stops a cutscene without following its target and closes the menu,
    // then loads the level as a level trigger does.
    void enter_level(int32_t level, int32_t entrance) {
        if (cutscene_active) {
            cutscene_playback.has_target = false;
            cutscene_end();
        }
        paused = false;
        load_level(level, entrance, false);
    }

    bool write_shot(const std::string &name) {
        std::vector<uint8_t> small(CANVAS_WIDTH * CANVAS_HEIGHT * 4);
        SDL_Texture *previous = SDL_GetRenderTarget(renderer);
        SDL_SetRenderTarget(renderer, canvas);
        const int read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, small.data(), CANVAS_WIDTH * 4);
        SDL_SetRenderTarget(renderer, previous);
        const std::string path = options.shots_folder + "/" + name + ".png";
        if (read != 0) {
            error = "cannot read the canvas for " + path + ": " + SDL_GetError();
            return false;
        }
        const int width = CANVAS_WIDTH * SHOT_SCALE;
        const int height = CANVAS_HEIGHT * SHOT_SCALE;
        std::vector<uint8_t> large(static_cast<size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint8_t *from = &small[(static_cast<size_t>(y / SHOT_SCALE) * CANVAS_WIDTH + x / SHOT_SCALE) * 4];
                std::copy(from, from + 4, &large[(static_cast<size_t>(y) * width + x) * 4]);
            }
        }
        const std::vector<uint8_t> png = dataio_encode_png(large.data(), width, height);
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char *>(png.data()), static_cast<std::streamsize>(png.size()));
        file.close();
        if (!file) {
            error = "cannot write " + path;
            return false;
        }
        return true;
    }

    void print_fields() {
        std::string line;
        for (int i = 0; i < FIELD_COUNT; ++i) {
            const ScriptField field = static_cast<ScriptField>(i);
            if (i > 0) line += ' ';
            line += script_field_name(field);
            line += '=';
            line += script_field_text(field, frame);
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    // 0 to go on; otherwise the exit status.
    int unmet(const ScriptCommand &command, const char *after) {
        std::fprintf(stderr, "%s:%d: expected %s%s, got %s\n", command.file.c_str(), command.line,
                     command.expr.text.c_str(), after, script_field_text(command.expr.field, frame).c_str());
        return 1;
    }

    int until(const ScriptCommand &command) {
        for (int64_t ran = 0;; ++ran) {
            if (script_expr_holds(command.expr, frame)) return 0;
            if (ran == command.count) {
                const std::string within = " within " + std::to_string(command.count) + " frames";
                return unmet(command, within.c_str());
            }
            if (!run_frame()) return unmet(command, " before the game quit");
        }
    }

    // 0 to go on, or the exit status; game_over ends the script.
    int run(const ScriptCommand &command) {
        switch (command.kind) {
        case CMD_HOLD:
            if (!push_keys(command.keys, true)) return 2;
            if (!run_frames(command.count)) return 0;
            return push_keys(command.keys, false) ? 0 : 2;
        case CMD_PRESS: return push_keys(command.keys, true) ? 0 : 2;
        case CMD_RELEASE: return push_keys(command.keys, false) ? 0 : 2;
        case CMD_WAIT: run_frames(command.count); return 0;
        case CMD_UNTIL: return until(command);
        case CMD_EXPECT: return script_expr_holds(command.expr, frame) ? 0 : unmet(command, "");
        case CMD_LEVEL: enter_level(static_cast<int32_t>(command.count), command.entrance); return 0;
        case CMD_SET: script_field_set(command.field, command.value); return 0;
        case CMD_DT: frame_ms = static_cast<uint32_t>(command.count); return 0;
        case CMD_SHOT: return write_shot(command.name) ? 0 : 2;
        case CMD_PRINT: print_fields(); return 0;
        }
        return 0;
    }
};

}  // namespace

double script_field_value(ScriptField field, int64_t frame) {
    if (const float *value = float_field(field)) return *value;
    return static_cast<double>(whole_field(field, frame));
}

std::string script_field_text(ScriptField field, int64_t frame) {
    if (field == FIELD_MODE) return MODE_WORDS[current_mode()];
    if (const float *value = float_field(field)) return float_text(*value);
    return std::to_string(whole_field(field, frame));
}

void script_field_set(ScriptField field, double value) {
    const int32_t whole = static_cast<int32_t>(value);  // the reader allows only whole numbers here
    switch (field) {
    case FIELD_PLAYER_X: player.x = static_cast<float>(value); break;
    case FIELD_PLAYER_Y: player.y = static_cast<float>(value); break;
    case FIELD_PLAYER_VY: player.vy = static_cast<float>(value); break;
    case FIELD_PLAYER_STATE: player.state = whole; break;
    case FIELD_PLAYER_HEALTH: player.health = whole; break;
    case FIELD_PLAYER_LIVES: player.lives = whole; break;
    case FIELD_PLAYER_FACING: player.facing = whole; break;
    case FIELD_SAVELEVEL: settings.savelevel = whole; break;
    case FIELD_SAVECHECKPOINT: settings.savecheckpoint = whole; break;
    case FIELD_BUTTSTOMP: settings.buttstomp = whole != 0; break;
    default: break;
    }
}

bool script_expr_holds(const ScriptExpr &expr, int64_t frame) {
    const double value = script_field_value(expr.field, frame);
    switch (expr.op) {
    case OP_EQ: return value == expr.number;
    case OP_NE: return value != expr.number;
    case OP_LT: return value < expr.number;
    case OP_LE: return value <= expr.number;
    case OP_GT: return value > expr.number;
    case OP_GE: return value >= expr.number;
    }
    return false;
}

int script_run(const std::vector<ScriptCommand> &commands, const ScriptOptions &options) {
    frame_clock = {script_ticks, script_delay};
    virtual_ticks = 0;
    frame_ms = DEFAULT_FRAME_MS;
    main_loop_start();

    Runner runner(options);
    // The clock wraps after 49 days of game time; the total does not.
    uint64_t game_ms = 0;
    int status = 0;
    for (const ScriptCommand &command : commands) {
        const uint32_t ticks_before = virtual_ticks;
        status = runner.run(command);
        game_ms += static_cast<uint32_t>(virtual_ticks - ticks_before);
        if (status == 2) {
            std::fprintf(stderr, "%s:%d: %s\n", command.file.c_str(), command.line, runner.error.c_str());
        }
        if (status != 0 || runner.game_over) break;
    }
    if (options.game_ms) *options.game_ms = game_ms;
    return status;
}
