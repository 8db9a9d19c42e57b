// One line of a level file applied to the world tables. The parser keeps no
// state between lines: everything it reads lands in world/ and the player.
#include "level/level.h"

#include "audio/audio.h"
#include "common/numeric.h"
#include "common/random.h"
#include "common/settings.h"
#include "common/text.h"
#include "player/player.h"

#include <bit>
#include <cmath>
#include <cstring>

// 24 frames a second for the save point's flame (float bits 0x3D2AAAA6).
static const float SAVE_POINT_FRAME_TIME = std::bit_cast<float>(0x3D2AAAA6u);


// A file may say 1e39 or nan; such values read as 0.
static float read_float(const char *field) {
    const float value = text_read_float(field);
    return std::isfinite(value) ? value : 0.0f;
}

static int32_t read_truncated(const char *field) { return num_truncate(read_float(field)); }

static void read_title(const char *text) {
    std::strncpy(level_state.title, text, TITLE_CAPACITY);
    level_state.title[TITLE_CAPACITY] = '\0';
}

static void read_music(int32_t m) {
    if (m == -1) audio_PlayMusic(MUSIC_NONE, true);
    if (m >= 0 && m <= 2) audio_PlayMusic(MUSIC_LEVEL0 + m, true);
}

static void read_entrance(char **fields, int count, int32_t arrival_number, bool arrival_is_savepoint) {
    if (!arrival_is_savepoint && text_read_int(fields[1]) == arrival_number) {
        player.x = static_cast<float>(text_read_int(fields[2]));
        player.y = static_cast<float>(text_read_int(fields[3]));
    }
    if (count >= 5) level_state.fade_in_duration = read_float(fields[4]);
}

// "RearBGframes", "BGwidth", "FGfps"...: the layer the key names and the
// rest of the key, or null when it names no layer.
static Layer *layer_of(const char *key, const char **rest) {
    static const struct {
        const char *prefix;
        Layer *layer;
    } prefixes[] = {{"RearBG", &RearBG}, {"BG", &BG}, {"FG", &FG}};
    for (const auto &entry : prefixes) {
        const size_t length = std::strlen(entry.prefix);
        if (std::strncmp(key, entry.prefix, length) == 0) {
            *rest = key + length;
            return entry.layer;
        }
    }
    return nullptr;
}

static void read_layer_key(const char *key, const char *value) {
    const char *rest = nullptr;
    Layer *layer = layer_of(key, &rest);
    if (!layer) return;
    if (std::strcmp(rest, "frames") == 0) {
        layer->frames = text_read_int(value);
    } else if (std::strcmp(rest, "width") == 0) {
        layer->width = text_read_int(value);
    } else if (std::strcmp(rest, "height") == 0) {
        layer->height = text_read_int(value);
    } else if (std::strcmp(rest, "fps") == 0) {
        // An fps of 0 gives an infinite frame time: the layer stands still.
        layer->frame_time = (1000.0f / static_cast<float>(text_read_int(value))) / 1000.0f;
    } else if (std::strcmp(rest, "HorzScrollSpeed") == 0) {
        layer->scroll_speed = read_float(value);
    }
}

static void read_save_point(char **fields, int32_t arrival_number, bool arrival_is_savepoint) {
    SavePoint *point = save_point_append();
    if (!point) return;
    point->active = true;
    point->id = text_read_int(fields[1]);
    point->x = read_truncated(fields[2]);
    point->y = read_truncated(fields[3]);
    point->frame_time = SAVE_POINT_FRAME_TIME;
    if (arrival_is_savepoint && point->id == arrival_number) {
        player.x = static_cast<float>(int64_t{point->x} + 2);
        player.y = static_cast<float>(int64_t{point->y} + 3);
        point->lit = true;
    }
    // Progress lights only the save point of the level it was saved in:
    // levels reuse the same ids.
    if (point->id == settings.savecheckpoint && level_state.level == settings.savelevel) point->lit = true;
}

static void read_doodad(char **fields, int count) {
    const int32_t type = text_read_int(fields[1]);
    if (type == -1 && count < 6) return;
    Doodad *doodad = doodad_append();
    if (!doodad) return;
    doodad->active = true;
    doodad->type = type;
    doodad->x = read_float(fields[2]);
    doodad->y = read_float(fields[3]);
    doodad->home_x = num_truncate(doodad->x);
    doodad->home_y = num_truncate(doodad->y);
    if (type == -1) {
        doodad->width = doodad->box_w = text_read_int(fields[4]);
        doodad->height = doodad->box_h = text_read_int(fields[5]);
        doodad->frames = 1;
        return;
    }
    if (type < 0 || type > 9) return;  // inert: neither drawn nor solid
    const DoodadShape &shape = DOODAD_SHAPES[type];
    doodad->sheet_y = shape.sheet_y;
    doodad->width = shape.width;
    doodad->height = shape.height;
    doodad->box_y = shape.box_y;
    doodad->box_w = shape.box_w;
    doodad->box_h = shape.box_h;
    doodad->frames = shape.frames;
    doodad->frame_time = shape.frame_time;
    if (doodad->frames > 1) {
        // Animated doodads of one type must not blink in step.
        doodad->frame_timer = static_cast<float>(random_next() % 1000) / 1000.0f * doodad->frame_time;
        doodad->frame = random_next() % doodad->frames;
    }
    if (count >= 7 && std::strcmp(fields[4], "elevator") == 0) {
        doodad->dest_x = text_read_int(fields[5]);
        doodad->dest_y = text_read_int(fields[6]);
        doodad->elevator_armed = true;
    }
}

static void read_pickup(char **fields) {
    const int32_t kind = text_read_int(fields[1]);
    if (kind != PICKUP_HEALTH && kind != PICKUP_STOMP) return;
    Pickup *pickup = pickup_append();
    if (!pickup) return;
    pickup->active = true;
    pickup->kind = kind;
    pickup->x = read_truncated(fields[2]);
    pickup->y = read_truncated(fields[3]);
    pickup->frame_time = FRAME_TIME_12FPS;
    if (kind == PICKUP_STOMP) {
        pickup->frames = 12;
        pickup->w = 8;
        pickup->h = 11;
        pickup->hidden = true;
    }
}

static void read_enemy(char **fields) {
    const int32_t file_kind = text_read_int(fields[1]);
    if (file_kind < 0 || file_kind > 3) return;
    Enemy *enemy = enemy_append();
    if (!enemy) return;
    const EnemyShape &shape = ENEMY_SHAPES[file_kind];
    enemy->active = true;
    enemy->x = read_float(fields[2]);
    enemy->y = read_float(fields[3]);
    enemy->kind = shape.kind;
    enemy->width = shape.width;
    enemy->height = shape.height;
    enemy->state1_frames = shape.state1_frames;
    enemy->state3_frames = shape.state3_frames;
    enemy->hit_x = shape.hit_x;
    enemy->hit_y = shape.hit_y;
    enemy->hit_w = shape.hit_w;
    enemy->hit_h = shape.hit_h;
    enemy->health = shape.health;
    enemy->frame_time = FRAME_TIME_12FPS;
    enemy->state = 2;  // falling
    enemy->facing = DIR_LEFT;
}

// Trigger forms: the command word, the fields the line needs, where the
// rectangle starts and how many values come before it.
struct TriggerForm {
    const char *word;
    int32_t command;
    int needs;
    int values;  // fields after the command word before the rectangle
};

static constexpr TriggerForm TRIGGER_FORMS[] = {
    {"level", TRIGGER_LEVEL, 8, 2},
    {"cutscene", TRIGGER_CUTSCENE, 7, 1},
    {"quit", TRIGGER_QUIT, 6, 0},
    {"lockcamera", TRIGGER_LOCKCAMERA, 6, 0},
    {"lockcamerax", TRIGGER_LOCKCAMERAX, 6, 0},
    {"unlockcamera", TRIGGER_UNLOCKCAMERA, 6, 0},
    {"movecamera", TRIGGER_MOVECAMERA, 8, 2},
    {"createdoodad", TRIGGER_CREATEDOODAD, 10, 4},
    {"startboss", TRIGGER_STARTBOSS, 6, 0},
};

static void read_trigger(char **fields, int count) {
    const TriggerForm *form = nullptr;
    for (const TriggerForm &candidate : TRIGGER_FORMS) {
        if (std::strcmp(fields[1], candidate.word) == 0) form = &candidate;
    }
    if (!form || count < form->needs) return;
    Trigger *trigger = trigger_append();
    if (!trigger) return;
    trigger->active = true;
    trigger->command = form->command;
    int32_t values[4] = {};
    for (int i = 0; i < form->values; ++i) values[i] = text_read_int(fields[2 + i]);
    const int rectangle = 2 + form->values;
    trigger->x = text_read_int(fields[rectangle]);
    trigger->y = text_read_int(fields[rectangle + 1]);
    trigger->w = text_read_int(fields[rectangle + 2]);
    trigger->h = text_read_int(fields[rectangle + 3]);
    if (form->command == TRIGGER_CREATEDOODAD) {
        trigger->new_x = values[0];
        trigger->new_y = values[1];
        trigger->new_w = values[2];
        trigger->new_h = values[3];
    } else {
        trigger->param_a = values[0];
        trigger->param_b = values[1];
    }
    if (form->command == TRIGGER_LEVEL && count >= 9) {
        if (std::strcmp(fields[8], "loadgame") == 0) trigger->command = TRIGGER_LOADGAME;
        if (std::strcmp(fields[8], "newgame") == 0) trigger->command = TRIGGER_NEWGAME;
    }
}

void parse_level_line(char *line, int32_t arrival_number, bool arrival_is_savepoint) {
    char *fields[TEXT_MAX_FIELDS];
    const int count = text_split_fields(line, fields);
    if (count == 0) return;
    const char *key = fields[0];
    const auto is = [key](const char *word) { return std::strcmp(key, word) == 0; };

    if (is("cameralocked")) level_state.camera_locked = true;
    if (is("flashlight")) level_state.flashlight = true;
    if (count < 2) return;

    if (is("title")) read_title(fields[1]);
    if (is("music")) read_music(text_read_int(fields[1]));
    if (is("width")) level_state.level_width = text_read_int(fields[1]);
    if (is("height")) level_state.level_height = text_read_int(fields[1]);
    read_layer_key(key, fields[1]);
    if (count < 4) return;

    if (is("entrance")) read_entrance(fields, count, arrival_number, arrival_is_savepoint);
    if (is("savepoint")) read_save_point(fields, arrival_number, arrival_is_savepoint);
    if (is("doodad")) read_doodad(fields, count);
    if (is("pickup")) read_pickup(fields);
    if (is("enemy")) read_enemy(fields);
    if (is("trigger") && count >= 6) read_trigger(fields, count);
}
