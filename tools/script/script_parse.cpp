// Reading scripts: one command a line, words separated by blanks, '#' to the
// end of the line is a comment.
#include "script.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

const char *const FIELD_NAMES[FIELD_COUNT] = {
    "frame",        "mode",           "cutscene",          "level",          "player.x",
    "player.y",     "player.vy",      "player.state",      "player.health",  "player.lives",
    "player.facing", "camera.x",      "camera.y",          "progress.savelevel",
    "progress.savecheckpoint", "progress.buttstomp", "boss.timer", "enemies", "title_timer",
    "quit",
};

struct KeyName {
    const char *name;
    ScriptKey key;
};
const KeyName KEY_NAMES[SCRIPT_KEY_COUNT] = {
    {"left", KEY_LEFT}, {"right", KEY_RIGHT}, {"up", KEY_UP},       {"down", KEY_DOWN},
    {"jump", KEY_JUMP}, {"shoot", KEY_SHOOT}, {"pause", KEY_PAUSE}, {"f11", KEY_F11},
};

struct OpName {
    const char *name;
    ScriptOp op;
};
const OpName OP_NAMES[] = {
    {"==", OP_EQ}, {"!=", OP_NE}, {"<", OP_LT}, {"<=", OP_LE}, {">", OP_GT}, {">=", OP_GE},
};

const char *const MODE_NAMES[] = {"play", "cutscene", "pause"};

// Frame counts and milliseconds beyond this are surely slips.
constexpr int64_t COUNT_LIMIT = 100000000;

// Everything about the line being read, and the first thing wrong with it.
struct LineReader {
    std::string file;
    int line = 0;
    std::vector<std::string> words;
    std::string error;

    bool fail(const std::string &what) {
        error = file + ":" + std::to_string(line) + ": " + what;
        return false;
    }
};

std::string quoted(const std::string &word) { return "\"" + word + "\""; }

bool read_whole(const std::string &word, int64_t low, int64_t high, int64_t *value) {
    if (word.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long long number = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < low || number > high) return false;
    *value = number;
    return true;
}

bool read_number(const std::string &word, double *value) {
    if (word.empty()) return false;
    char *end = nullptr;
    const double number = std::strtod(word.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number)) return false;
    *value = number;
    return true;
}

bool read_count(LineReader &reader, const std::string &word, const char *what, int64_t *value) {
    if (read_whole(word, 0, COUNT_LIMIT, value)) return true;
    return reader.fail(quoted(word) + " is not a " + what);
}

bool read_key(LineReader &reader, const std::string &word, uint32_t *keys) {
    for (const KeyName &key : KEY_NAMES) {
        if (word == key.name) {
            *keys |= key.key;
            return true;
        }
    }
    return reader.fail("unknown key " + quoted(word) + " (keys: left right up down jump shoot pause f11)");
}

bool read_field(LineReader &reader, const std::string &word, ScriptField *field) {
    for (int i = 0; i < FIELD_COUNT; ++i) {
        if (word == FIELD_NAMES[i]) {
            *field = static_cast<ScriptField>(i);
            return true;
        }
    }
    return reader.fail("unknown field " + quoted(word));
}

// words[first..first+2]: FIELD OP NUMBER, or mode == WORD.
bool read_expr(LineReader &reader, size_t first, ScriptExpr *expr) {
    const std::string &field = reader.words[first];
    const std::string &op = reader.words[first + 1];
    const std::string &value = reader.words[first + 2];
    if (!read_field(reader, field, &expr->field)) return false;
    bool known_op = false;
    for (const OpName &name : OP_NAMES) {
        if (op == name.name) {
            expr->op = name.op;
            known_op = true;
        }
    }
    if (!known_op) return reader.fail("unknown comparison " + quoted(op) + " (use == != < <= > >=)");
    expr->text = field + " " + op + " " + value;
    if (expr->field == FIELD_MODE) {
        if (expr->op != OP_EQ && expr->op != OP_NE) return reader.fail("mode is compared with == or != only");
        for (int mode = 0; mode < 3; ++mode) {
            if (value == MODE_NAMES[mode]) {
                expr->number = mode;
                return true;
            }
        }
        return reader.fail("unknown mode " + quoted(value) + " (modes: cutscene play pause)");
    }
    if (!read_number(value, &expr->number)) return reader.fail(quoted(value) + " is not a number");
    return true;
}

bool settable(ScriptField field) {
    switch (field) {
    case FIELD_PLAYER_X: case FIELD_PLAYER_Y: case FIELD_PLAYER_VY: case FIELD_PLAYER_STATE:
    case FIELD_PLAYER_HEALTH: case FIELD_PLAYER_LIVES: case FIELD_PLAYER_FACING:
    case FIELD_SAVELEVEL: case FIELD_SAVECHECKPOINT: case FIELD_BUTTSTOMP:
        return true;
    default:
        return false;
    }
}

bool whole_field(ScriptField field) {
    return field != FIELD_PLAYER_X && field != FIELD_PLAYER_Y && field != FIELD_PLAYER_VY;
}

bool read_set(LineReader &reader, ScriptCommand *command) {
    if (!read_field(reader, reader.words[1], &command->field)) return false;
    if (!settable(command->field)) {
        return reader.fail("cannot set " + quoted(reader.words[1]) + ": only player and progress values can be set");
    }
    const std::string &value = reader.words[2];
    if (!read_number(value, &command->value)) return reader.fail(quoted(value) + " is not a number");
    if (command->field == FIELD_BUTTSTOMP) {
        if (command->value != 0.0 && command->value != 1.0) return reader.fail("progress.buttstomp is 0 or 1");
    } else if (whole_field(command->field)) {
        int64_t whole = 0;
        if (!read_whole(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), &whole)) {
            return reader.fail(quoted(value) + " is not a whole number");
        }
        command->value = static_cast<double>(whole);
    } else if (std::fabs(command->value) > 1e9) {
        return reader.fail(quoted(value) + " is too far from the level");
    }
    return true;
}

bool read_name(LineReader &reader, const std::string &word, std::string *name) {
    // A plain file name: the shot lands in the shots folder and nowhere else.
    bool plain = !word.empty() && word[0] != '.';
    for (char c : word) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             c == '-' || c == '_' || c == '.';
        if (!allowed) plain = false;
    }
    if (!plain) return reader.fail(quoted(word) + " is not a plain name (letters, digits, - _ .)");
    *name = word;
    return true;
}

// The command of one line with at least one word.
bool read_command(LineReader &reader, ScriptCommand *command) {
    const std::vector<std::string> &words = reader.words;
    const std::string &verb = words[0];
    const size_t arguments = words.size() - 1;
    auto usage = [&reader](const char *form) { return reader.fail(std::string("usage: ") + form); };

    if (verb == "hold") {
        command->kind = CMD_HOLD;
        if (arguments < 2) return usage("hold KEY... N");
        for (size_t i = 1; i + 1 < words.size(); ++i) {
            if (!read_key(reader, words[i], &command->keys)) return false;
        }
        return read_count(reader, words.back(), "whole number of frames", &command->count);
    }
    if (verb == "press" || verb == "release") {
        command->kind = verb == "press" ? CMD_PRESS : CMD_RELEASE;
        if (arguments < 1) return usage(verb == "press" ? "press KEY..." : "release KEY...");
        for (size_t i = 1; i < words.size(); ++i) {
            if (!read_key(reader, words[i], &command->keys)) return false;
        }
        return true;
    }
    if (verb == "wait") {
        command->kind = CMD_WAIT;
        if (arguments != 1) return usage("wait N");
        return read_count(reader, words[1], "whole number of frames", &command->count);
    }
    if (verb == "until") {
        command->kind = CMD_UNTIL;
        if (arguments != 3 && arguments != 4) return usage("until FIELD OP NUMBER [N]");
        command->count = SCRIPT_UNTIL_DEFAULT_FRAMES;
        if (!read_expr(reader, 1, &command->expr)) return false;
        return arguments == 3 || read_count(reader, words[4], "whole number of frames", &command->count);
    }
    if (verb == "expect") {
        command->kind = CMD_EXPECT;
        if (arguments != 3) return usage("expect FIELD OP NUMBER");
        return read_expr(reader, 1, &command->expr);
    }
    if (verb == "level") {
        command->kind = CMD_LEVEL;
        if (arguments != 1 && arguments != 2) return usage("level N [ENTRANCE]");
        const int64_t low = std::numeric_limits<int32_t>::min();
        const int64_t high = std::numeric_limits<int32_t>::max();
        int64_t entrance = 0;
        if (!read_whole(words[1], low, high, &command->count)) return reader.fail(quoted(words[1]) + " is not a level number");
        if (arguments == 2 && !read_whole(words[2], low, high, &entrance)) {
            return reader.fail(quoted(words[2]) + " is not an entrance number");
        }
        command->entrance = static_cast<int32_t>(entrance);
        return true;
    }
    if (verb == "set") {
        command->kind = CMD_SET;
        if (arguments != 2) return usage("set FIELD NUMBER");
        return read_set(reader, command);
    }
    if (verb == "dt") {
        command->kind = CMD_DT;
        if (arguments != 1) return usage("dt MS");
        return read_count(reader, words[1], "whole number of milliseconds", &command->count);
    }
    if (verb == "shot") {
        command->kind = CMD_SHOT;
        if (arguments != 1) return usage("shot NAME");
        return read_name(reader, words[1], &command->name);
    }
    if (verb == "print") {
        command->kind = CMD_PRINT;
        if (arguments != 0) return usage("print");
        return true;
    }
    return reader.fail("unknown command " + quoted(verb));
}

}  // namespace

const char *script_field_name(ScriptField field) {
    return field >= 0 && field < FIELD_COUNT ? FIELD_NAMES[field] : "?";
}

bool script_parse_text(const std::string &path, const std::string &text, std::vector<ScriptCommand> *commands,
                       std::string *error) {
    std::istringstream lines(text);
    std::string line;
    LineReader reader;
    reader.file = path;
    while (std::getline(lines, line)) {
        ++reader.line;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream words(line);
        reader.words.clear();
        for (std::string word; words >> word;) reader.words.push_back(word);
        if (reader.words.empty()) continue;
        ScriptCommand command;
        command.file = path;
        command.line = reader.line;
        if (!read_command(reader, &command)) {
            *error = reader.error;
            return false;
        }
        commands->push_back(command);
    }
    return true;
}

bool script_parse_file(const std::string &path, std::vector<ScriptCommand> *commands, std::string *error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": cannot read the script: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return script_parse_text(path, text.str(), commands, error);
}
