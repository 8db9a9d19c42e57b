// Any bytes as a level file, line by line through the level parser: no
// crash, no undefined behaviour, nothing written past a table, and the
// tables hold only what the format allows. Music lines only switch the
// current music: audio is never started here, so nothing plays.
#include "level/level.h"

#include "common/text.h"
#include "player/player.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

static void reset_world() {
    doodad_count = enemy_count = trigger_count = save_point_count = pickup_count = 0;
    level_state.title[0] = '\0';
    level_state.level = 3;
}

static void check_tables() {
    if (doodad_count > DOODAD_CAPACITY || enemy_count > ENEMY_CAPACITY || trigger_count > TRIGGER_CAPACITY ||
        save_point_count > SAVEPOINT_CAPACITY || pickup_count > PICKUP_CAPACITY) {
        std::abort();
    }
    if (std::memchr(level_state.title, '\0', TITLE_CAPACITY + 1) == nullptr) std::abort();
    for (int i = 0; i < doodad_count; ++i) {
        const Doodad &d = doodads[i];
        const bool known = d.type >= -1 && d.type <= 9;
        if (!known && (d.box_w || d.box_h || d.elevator_armed)) std::abort();
        if (d.frames > 1 && (d.frame < 0 || d.frame >= d.frames)) std::abort();
    }
    for (int i = 0; i < enemy_count; ++i) {
        const int32_t kind = enemies[i].kind;
        if (kind != ENEMY_WALKER && kind != ENEMY_HAZARD && kind != ENEMY_SMALL && kind != ENEMY_LARGE) std::abort();
    }
    for (int i = 0; i < pickup_count; ++i) {
        if (pickups[i].kind != PICKUP_HEALTH && pickups[i].kind != PICKUP_STOMP) std::abort();
    }
    for (int i = 0; i < trigger_count; ++i) {
        if (triggers[i].command < TRIGGER_STARTBOSS || triggers[i].command > TRIGGER_MOVECAMERA) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A terminated copy of exactly the input, as the loader hands it over.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    char *lines[TEXT_MAX_LINES];
    const int line_count = text_split_lines(text.data(), lines);

    reset_world();
    const bool at_save_point = size % 2 == 1;
    for (int i = 0; i < line_count; ++i) parse_level_line(lines[i], 1, at_save_point);
    check_tables();

    // The rectangles and boxes just read, at the corners of the number range.
    const int32_t points[] = {INT32_MIN, -1, 0, 1, INT32_MAX};
    for (int32_t x : points) {
        for (int32_t y : points) {
            solid_at(x, y);
            trigger_at(x, y);
        }
    }
    solid_at(player_point_x(), player_point_y());
    return 0;
}
