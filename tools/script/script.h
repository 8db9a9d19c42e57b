// numbral-script: plays the game from a text script. The script is read
// whole before the game starts; the runner then drives the real frame loop
// with fixed frame lengths and keyboard events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the script reads and sets, in the order `print` writes them.
enum ScriptField : int32_t {
    FIELD_FRAME,
    FIELD_MODE,
    FIELD_CUTSCENE,
    FIELD_LEVEL,
    FIELD_PLAYER_X,
    FIELD_PLAYER_Y,
    FIELD_PLAYER_VY,
    FIELD_PLAYER_STATE,
    FIELD_PLAYER_HEALTH,
    FIELD_PLAYER_LIVES,
    FIELD_PLAYER_FACING,
    FIELD_CAMERA_X,
    FIELD_CAMERA_Y,
    FIELD_SAVELEVEL,
    FIELD_SAVECHECKPOINT,
    FIELD_BUTTSTOMP,
    FIELD_BOSS_TIMER,
    FIELD_ENEMIES,
    FIELD_TITLE_TIMER,
    FIELD_QUIT,
    FIELD_COUNT,
};

enum ScriptMode : int32_t { MODE_PLAY, MODE_CUTSCENE, MODE_PAUSE };

enum ScriptOp : int32_t { OP_EQ, OP_NE, OP_LT, OP_LE, OP_GT, OP_GE };

// FIELD OP NUMBER, or mode == WORD (number is then a ScriptMode).
struct ScriptExpr {
    ScriptField field = FIELD_FRAME;
    ScriptOp op = OP_EQ;
    double number = 0.0;
    std::string text;  // as written, for messages: "player.x > 40"
};

enum ScriptCommandKind : int32_t {
    CMD_HOLD,
    CMD_PRESS,
    CMD_RELEASE,
    CMD_WAIT,
    CMD_UNTIL,
    CMD_EXPECT,
    CMD_LEVEL,
    CMD_SET,
    CMD_DT,
    CMD_SHOT,
    CMD_PRINT,
};

// Keys a script may hold, as bits of ScriptCommand::keys.
enum ScriptKey : uint32_t {
    KEY_LEFT = 1u << 0,
    KEY_RIGHT = 1u << 1,
    KEY_UP = 1u << 2,
    KEY_DOWN = 1u << 3,
    KEY_JUMP = 1u << 4,
    KEY_SHOOT = 1u << 5,
    KEY_PAUSE = 1u << 6,
    KEY_F11 = 1u << 7,
};
constexpr int SCRIPT_KEY_COUNT = 8;

struct ScriptCommand {
    ScriptCommandKind kind = CMD_PRINT;
    std::string file;  // for messages: "FILE:LINE: ..."
    int line = 0;
    uint32_t keys = 0;      // hold, press, release
    int64_t count = 0;      // frames (hold, wait, until), level number, milliseconds (dt)
    int32_t entrance = 0;   // level
    ScriptExpr expr;        // until, expect
    ScriptField field = FIELD_FRAME;  // set
    double value = 0.0;               // set
    std::string name;                 // shot
};

constexpr int64_t SCRIPT_UNTIL_DEFAULT_FRAMES = 3000;

// The field's name as scripts write it ("player.x").
const char *script_field_name(ScriptField field);

// Reads one script file and appends its commands. On a line it cannot read,
// false with "FILE:LINE: what is wrong" in *error.
bool script_parse_file(const std::string &path, std::vector<ScriptCommand> *commands, std::string *error);

// Reads script text as if it came from the named file.
bool script_parse_text(const std::string &path, const std::string &text, std::vector<ScriptCommand> *commands,
                       std::string *error);

// The field's value now, and as `print` and messages write it.
double script_field_value(ScriptField field, int64_t frame);
std::string script_field_text(ScriptField field, int64_t frame);

// Sets a player or progress value.
void script_field_set(ScriptField field, double value);

bool script_expr_holds(const ScriptExpr &expr, int64_t frame);

struct ScriptOptions {
    std::string shots_folder;  // absolute; where `shot` writes
    uint64_t *game_ms = nullptr;  // when set, receives the game time played
};

// Runs the commands on the started game. Returns the exit status: 0 when the
// script ends (or the game quits) with every expectation met, 1 at the first
// unmet one, 2 when a command cannot be carried out; messages go to
// standard error.
int script_run(const std::vector<ScriptCommand> &commands, const ScriptOptions &options);
