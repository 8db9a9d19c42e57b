#include "player/projectile.h"

#include "common/numeric.h"
#include "player/enemy.h"
#include "world/world.h"

// The first active enemy whose target box holds the pixel; a box of width
// or height 0 holds nothing.
static Enemy *enemy_at(int32_t px, int32_t py) {
    for (int32_t i = 0; i < enemy_count && i < ENEMY_CAPACITY; ++i) {
        Enemy &enemy = enemies[i];
        if (!enemy.active) continue;
        const int64_t x0 = int64_t{num_round(enemy.x)} + enemy.hit_x;
        const int64_t y0 = int64_t{num_round(enemy.y)} + enemy.hit_y;
        if (px >= x0 && px <= x0 + enemy.hit_w - 1 && py >= y0 && py <= y0 + enemy.hit_h - 1) return &enemy;
    }
    return nullptr;
}

void update_projectile(Projectile &projectile, float dt) {
    if (projectile.lifetime <= 0.0f) return;
    projectile.lifetime -= dt;

    const float step = projectile.speed * dt;
    switch (projectile.direction) {
        case DIR_UP: projectile.y -= step; break;
        case DIR_UP_RIGHT:
            projectile.x += step;
            projectile.y -= step;
            break;
        case DIR_RIGHT: projectile.x += step; break;
        case DIR_DOWN_RIGHT:
            projectile.x += step;
            projectile.y += step;
            break;
        case DIR_DOWN: projectile.y += step; break;
        case DIR_DOWN_LEFT:
            projectile.x -= step;
            projectile.y += step;
            break;
        case DIR_LEFT: projectile.x -= step; break;
        case DIR_UP_LEFT:
            projectile.x -= step;
            projectile.y -= step;
            break;
        default: break;
    }

    projectile.frame_timer += dt;
    if (projectile.frame_timer >= projectile.frame_time) {
        projectile.frame += 1;
        projectile.frame_timer -= projectile.frame_time;
        if (projectile.frame >= projectile.frames) projectile.frame = 0;
    }

    if (projectile.x < -3.0f || projectile.x > static_cast<double>(level_state.level_width) ||
        projectile.y < -1.0f || projectile.y > static_cast<double>(level_state.level_height)) {
        projectile.lifetime = 0.0f;
        return;
    }

    // The search runs once per active enemy: when a hit kills the first
    // enemy found, a later search can hit another one at the same pixel.
    const int32_t px = num_truncate(projectile.x);
    const int32_t py = num_truncate(projectile.y);
    for (int32_t i = 0; i < enemy_count && i < ENEMY_CAPACITY; ++i) {
        if (!enemies[i].active) continue;
        Enemy *hit = enemy_at(px, py);
        if (!hit) continue;
        damage_enemy(*hit);
        projectile.lifetime = 0.0f;
    }
}
