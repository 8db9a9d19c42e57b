#include "render/actors.h"

#include "common/controls.h"
#include "common/numeric.h"
#include "common/screen.h"
#include "render/layouts.h"
#include "resources/sprite_sheets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

static void set_colour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    SDL_SetRenderDrawColor(renderer, r, g, b, a);
}

static void point(int x, int y) {
    SDL_RenderDrawPoint(renderer, x, y);
}

static uint8_t to_alpha(double value) {
    return static_cast<uint8_t>(std::clamp(num_truncate(value), 0, 255));
}

void render_copy_mirrored(SDL_Texture *sheet, const SDL_Rect &source, const SDL_Rect &destination) {
    if (!sheet) return;
    int sheet_width = 0, sheet_height = 0;
    SDL_QueryTexture(sheet, nullptr, nullptr, &sheet_width, &sheet_height);
    const bool inside = source.x >= 0 && source.y >= 0 && source.w > 0 && source.h > 0 &&
                        int64_t{source.x} + source.w <= sheet_width && int64_t{source.y} + source.h <= sheet_height;
    if (!inside || source.w != destination.w || source.h != destination.h) {
        SDL_RenderCopyEx(renderer, sheet, &source, &destination, 0.0, nullptr, SDL_FLIP_HORIZONTAL);
        return;
    }
    for (int column = 0; column < source.w; ++column) {
        const SDL_Rect from = {source.x + column, source.y, 1, source.h};
        const SDL_Rect to = {static_cast<int>(int64_t{destination.x} + destination.w - 1 - column), destination.y, 1,
                             destination.h};
        SDL_RenderCopy(renderer, sheet, &from, &to);
    }
}

static void copy(SDL_Texture *sheet, const SDL_Rect &source, const SDL_Rect &destination, bool flipped) {
    if (flipped) {
        render_copy_mirrored(sheet, source, destination);
    } else {
        SDL_RenderCopy(renderer, sheet, &source, &destination);
    }
}

// Where a sprite effect's picture sits: its sheet row and its offset from the
// effect's position, plain and mirrored.
struct EffectLook {
    int row;
    int dx, dy;
    int flipped_dx;
};

static bool effect_look(int32_t type, EffectLook *look) {
    switch (type) {
    case 0: *look = {EFFECT_JUMP_PUFF.y, -1, -2, -1}; return true;
    case 1: *look = {EFFECT_LAND_PUFF.y, -1, -2, -1}; return true;
    case 4: *look = {EFFECT_DASH_START.y, -3, -2, 0}; return true;
    case 7: *look = {EFFECT_BURST.y, -3, -3, -3}; return true;
    case 9: *look = {EFFECT_STOMP_IMPACT.y, -3, -6, -3}; return true;
    case 10: *look = {EFFECT_MUZZLE_FLASH.y, 0, 0, -2}; return true;
    default: return false;
    }
}

void draw_effect(const Effect &effect) {
    const int x = num_round(effect.x);
    const int y = num_round(effect.y);
    if (effect.type == 5 || effect.type == 6) {
        // Two pixels that fade out over the effect's lifetime.
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
        const double faded = effect.lifetime > 0.0f ? effect.age / effect.lifetime * 255.0 : 0.0;
        set_colour(255, 100, 255, to_alpha(255.0 - num_truncate(faded)));
        point(x, y);
        if (effect.type == 5) point(x, y - 1);
        else point(x - 1, y);
        return;
    }
    EffectLook look;
    if (!effect_look(effect.type, &look)) return;
    const SDL_Rect source = {effect.frame * effect.width, look.row, effect.width, effect.height};
    const SDL_Rect destination = {x + (effect.flip_x ? look.flipped_dx : look.dx), y + look.dy, effect.width,
                                  effect.height};
    copy(effects_texture, source, destination, effect.flip_x);
}

void draw_enemy(const Enemy &enemy) {
    const int x = num_round(enemy.x);
    const int y = num_round(enemy.y);
    if (enemy.kind == ENEMY_WALKER) {
        SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
        set_colour(229, 25, 25, 255);
        point(x, y);
        return;
    }
    int row;
    if (enemy.kind == ENEMY_SMALL) {
        row = ENEMY_SMALL_WALK.y;
    } else if (enemy.kind == ENEMY_LARGE) {
        row = enemy.state == 3 ? ENEMY_LARGE_TURN.y : ENEMY_LARGE_WALK.y;
    } else {
        return;
    }
    // The hit blink: a black silhouette every other 0.05 s.
    bool black = false;
    if (enemy.hurt_timer > 0.0f) black = num_round(enemy.hurt_timer * 100.0) % 10 >= 5;
    const SDL_Rect source = {enemy.frame * enemy.width, row, enemy.width, enemy.height};
    const SDL_Rect destination = {x, y, enemy.width, enemy.height};
    // The sheet's pictures face left.
    copy(black ? enemies_blink_texture : enemies_texture, source, destination, enemy.facing == DIR_RIGHT);
}

// The head's colour in the landing blink, or false outside it. Exactly on a
// bound the body's colour stays.
static bool landing_blink_alpha(float t, uint8_t *alpha) {
    if (!(t > 0.0f && t < 0.3333332f)) return false;
    if (t < 0.0833333f) *alpha = 185;
    else if ((t > 0.0833333f && t < 0.1666666f) || t > 0.2499999f) *alpha = 147;
    else if (t > 0.1666666f && t < 0.2499999f) *alpha = 89;
    else return false;
    return true;
}

// The wind-up's white glow rises from nothing and falls back to nothing over
// 0.1 < stomp_timer < 0.4, brightest halfway.
static uint8_t stomp_glow_alpha(float t) {
    return to_alpha(255.0 * std::sin(std::numbers::pi * (t - 0.1) / 0.3));
}

void draw_player() {
    const int x = num_round(player.x);
    const int y = num_round(player.y);
    const bool facing_right = player.facing == DIR_RIGHT;
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    if (player.state == PLAYER_DEAD) {
        set_colour(50, 74, 244, 255);
        for (const Projectile &piece : player.debris) {
            if (piece.lifetime > 0.0f) point(num_round(piece.x), num_round(piece.y));
        }
    } else {
        const bool fresh_shot = player.shoot_cooldown > 0.12f;
        if (fresh_shot) set_colour(229, 100, 255, 255);
        else if (player.hurt_timer > 0.1f && player.hurt_timer < 0.8f) set_colour(229, 255, 255, 255);
        else set_colour(229, 0, 255, 255);
        point(x, y);

        if (player.state != PLAYER_CROUCHING && player.state != PLAYER_DASHING) {
            uint8_t alpha;
            if (landing_blink_alpha(player.landing_timer, &alpha)) set_colour(229, 0, 255, alpha);
            point(x, y - 1);
        }
        if (player.state == PLAYER_DASHING) {
            set_colour(229, 0, 255, 255);
            point(facing_right ? x + 1 : x - 1, y);
        }
        if (player.state == PLAYER_STOMPING && player.stomp_timer > 0.1f && player.stomp_timer < 0.4f) {
            set_colour(255, 255, 255, stomp_glow_alpha(player.stomp_timer));
            point(x, y - 1);
            point(x + 1, y - 1);
            point(x - 1, y - 1);
            point(x, y);
            point(x, y - 2);
        }
        if (player.state == PLAYER_STANDING || player.state == PLAYER_CROUCHING || player.state == PLAYER_AIRBORNE) {
            const uint8_t grey = fresh_shot ? 200 : 125;
            set_colour(grey, grey, grey, 255);
            if (player.state == PLAYER_CROUCHING) point(facing_right ? x + 1 : x - 1, y);
            else if (controls.up) point(x, y - 2);
            else if (controls.down) point(x, y);
            else point(facing_right ? x + 1 : x - 1, y - 1);
        }
    }
    for (const Projectile &shot : player.shots) {
        if (shot.lifetime > 0.0f) draw_shot(shot);
    }
}

// The part of a sideways shot that shows while it leaves the gun: the
// destination narrows to width at x, and the picture keeps its head end
// (its right end before any mirroring).
static void copy_sideways_shot(const SDL_Rect &full, int x, int64_t width, int frame, bool flipped) {
    const int shown = static_cast<int>(std::min<int64_t>(width, SHOT_LYING.width));
    if (shown <= 0) return;
    const SDL_Rect source = {frame * SHOT_LYING.width + SHOT_LYING.width - shown, SHOT_LYING.y,
                             shown, SHOT_LYING.height};
    const SDL_Rect destination = {x, full.y, shown, full.h};
    copy(projectiles_texture, source, destination, flipped);
}

void draw_shot(Projectile shot) {
    if (shot.kind != PROJECTILE_SHOT) return;
    const int sx = num_round(shot.x);
    const int sy = num_round(shot.y);
    const int64_t p = num_round(player.x);
    const int frame = shot.frame;
    const SDL_Rect lying = {frame * SHOT_LYING.width, SHOT_LYING.y, SHOT_LYING.width,
                            SHOT_LYING.height};
    switch (shot.direction) {
    case DIR_RIGHT: {
        const SDL_Rect full = {sx - 3, sy, 4, 1};
        if (p + 1 > full.x) copy_sideways_shot(full, static_cast<int>(p + 1), std::llabs(full.x - p + 1), frame, false);
        else copy(projectiles_texture, lying, full, false);
        break;
    }
    case DIR_LEFT: {
        const SDL_Rect full = {sx + 1, sy, 4, 1};
        if (full.x > p - 3) copy_sideways_shot(full, static_cast<int>(p - 3), std::llabs(full.x - (p - 3)), frame, true);
        else copy(projectiles_texture, lying, full, true);
        break;
    }
    case DIR_UP: {
        const SDL_Rect source = {frame * SHOT_STANDING.width, SHOT_STANDING.y, SHOT_STANDING.width,
                                 SHOT_STANDING.height};
        const SDL_Rect destination = {sx, sy - 1, 1, 4};
        copy(projectiles_texture, source, destination, false);
        break;
    }
    case DIR_DOWN: {
        const SDL_Rect destination = {sx - 1, sy + 3, 4, 1};
        SDL_RenderCopyEx(renderer, projectiles_texture, &lying, &destination, 90.0, nullptr, SDL_FLIP_NONE);
        break;
    }
    default:
        break;
    }
}
