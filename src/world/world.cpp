#include "world/world.h"

#include "common/numeric.h"

#include <cstring>

Doodad doodads[DOODAD_CAPACITY];
int32_t doodad_count = 0;
Enemy enemies[ENEMY_CAPACITY];
int32_t enemy_count = 0;
Trigger triggers[TRIGGER_CAPACITY];
int32_t trigger_count = 0;
SavePoint save_points[SAVEPOINT_CAPACITY];
int32_t save_point_count = 0;
Pickup pickups[PICKUP_CAPACITY];
int32_t pickup_count = 0;
Effect effects[EFFECT_CAPACITY];

Layer RearBG;
Layer BG;
Layer FG;

LevelState level_state = {};
BossSequence boss = {};

// A refilled record starts from all fields zero, so nothing of the record
// that held the slot before survives.
template <typename Record, int Capacity>
static Record *append(Record (&table)[Capacity], int32_t &count) {
    if (count < 0 || count >= Capacity) return nullptr;
    Record *record = &table[count++];
    std::memset(static_cast<void *>(record), 0, sizeof *record);
    return record;
}

Doodad *doodad_append() { return append(doodads, doodad_count); }
Enemy *enemy_append() { return append(enemies, enemy_count); }
Trigger *trigger_append() { return append(triggers, trigger_count); }
SavePoint *save_point_append() { return append(save_points, save_point_count); }
Pickup *pickup_append() { return append(pickups, pickup_count); }

void spawn_effect(int32_t type, float x, float y, bool mirrored, float vx, float vy) {
    Effect *effect = nullptr;
    for (Effect &candidate : effects) {
        if (!candidate.active) {
            effect = &candidate;
            break;
        }
    }
    if (!effect) return;
    *effect = {};
    effect->active = true;
    effect->x = x;
    effect->y = y;
    effect->vx = vx;
    effect->vy = vy;
    effect->type = type;
    effect->last_frame = 1;
    effect->frame_time = FRAME_TIME_12FPS;
    switch (type) {
    case 0:  // jump puff
    case 1:  // landing puff
        effect->last_frame = 6;
        effect->width = 3;
        effect->height = 3;
        effect->drawn_behind = true;
        break;
    case 4:  // dash start
        effect->last_frame = 9;
        effect->width = 4;
        effect->height = 3;
        effect->drawn_behind = true;
        effect->flip_x = mirrored;
        break;
    case 5:  // stomp trail
        effect->width = 1;
        effect->height = 2;
        effect->drawn_behind = true;
        effect->lifetime = 1.0f;
        break;
    case 6:  // dash dust
        effect->width = 2;
        effect->height = 1;
        effect->drawn_behind = true;
        effect->lifetime = 0.2f;
        break;
    case 7:  // burst
        effect->last_frame = 14;
        effect->width = 7;
        effect->height = 7;
        effect->drawn_behind = true;
        break;
    case 9:  // stomp impact
        effect->last_frame = 9;
        effect->width = 7;
        effect->height = 7;
        break;
    case 10:  // muzzle flash
        effect->last_frame = 5;
        effect->width = 3;
        effect->height = 1;
        effect->drawn_behind = true;
        effect->flip_x = mirrored;
        effect->frame_time = 0.0416666f;  // float bits 0x3D2AAA99
        break;
    default:
        break;
    }
}

// Box ends are computed in 64 bits: positions and sizes come from files.
static bool box_holds(const Doodad &doodad, int64_t px, int64_t py) {
    const int64_t x0 = int64_t{num_round(doodad.x)} + doodad.box_x;
    const int64_t y0 = int64_t{num_round(doodad.y)} + doodad.box_y;
    return px >= x0 && px <= x0 + doodad.box_w - 1 && py >= y0 && py <= y0 + doodad.box_h - 1;
}

int32_t solid_at(int32_t px, int32_t py) {
    for (int32_t i = 0; i < doodad_count && i < DOODAD_CAPACITY; ++i) {
        if (doodads[i].active && box_holds(doodads[i], px, py)) return i;
    }
    return NO_DOODAD;
}

bool solid_at_either(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return solid_at(x1, y1) != NO_DOODAD || solid_at(x2, y2) != NO_DOODAD;
}

bool solid_at_any(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3) {
    return solid_at(x1, y1) != NO_DOODAD || solid_at(x2, y2) != NO_DOODAD ||
           solid_at(x3, y3) != NO_DOODAD;
}
