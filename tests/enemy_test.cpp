// Enemies and what hits them: walkers, patrollers, damage with the level-4
// secret, and the shots' flight and hit search.
#include "player/enemy.h"

#include "common/numeric.h"
#include "player/projectile.h"
#include "player_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

constexpr int32_t IDLE = 0, MOVING = 1, TURNING = 3;
constexpr int32_t SMALL = ENEMY_SMALL, LARGE = ENEMY_LARGE, LEFT = DIR_LEFT, RIGHT = DIR_RIGHT;

TEST(Walker, StaysOnItsGroundBetweenLedgesAndWalls) {
    for (const bool walled : {false, true}) {
        world_reset(100, 60);
        add_box(walled ? 0 : 20, 30, walled ? 100 : 10, 2);  // a floor, or a platform with two ledges
        if (walled) {
            add_box(21, 20, 2, 10);
            add_box(27, 20, 2, 10);
        }
        Enemy &walker = add_enemy(ENEMY_WALKER, 25, 29);
        walker.state = IDLE;
        int32_t lowest = 25, highest = 25;
        for (int frame = 0; frame < 5000; ++frame) {
            walker_step(walker, FRAME_DT);
            lowest = std::min(lowest, num_round(walker.x));
            highest = std::max(highest, num_round(walker.x));
            ASSERT_EQ(walker.y, 29.0f) << walled;
        }
        EXPECT_EQ(lowest, walled ? 23 : 20);
        EXPECT_EQ(highest, walled ? 26 : 29);
    }
}

// The walk that ends draws its pause of (r mod 8) / 5 s, and still walks.
TEST(Walker, WalksOnTheFrameThatEndsTheWalk) {
    world_reset(100, 60);
    add_box(0, 30, 100, 2);
    Enemy &walker = add_enemy(ENEMY_WALKER, 50, 29);
    walker.state = MOVING;
    walker.facing = DIR_RIGHT;
    walker.behaviour_timer = 0.01f;
    const int32_t r = random_next();
    random_state = 1;
    walker_step(walker, FRAME_DT);
    EXPECT_EQ(walker.state, IDLE);
    EXPECT_EQ(walker.behaviour_timer, static_cast<float>(r % 8) / 5.0f);
    EXPECT_FLOAT_EQ(walker.x, 50 + 15 * FRAME_DT);
}

// An idle patroller at x 50 on a floor over rows 26..29, or on row 26 alone;
// walls block its probes on the left or on both sides.
enum Layout { OPEN, WALL_LEFT, BOXED_IN, THIN_FLOOR };
Enemy &patroller(int32_t kind, int32_t facing, Layout layout = OPEN) {
    world_reset(200, 60);
    add_box(0, 26, 200, layout == THIN_FLOOR ? 1 : 4);
    Enemy &enemy = add_enemy(kind, 50, kind == ENEMY_SMALL ? 20 : 14);
    enemy.state = IDLE;
    enemy.facing = facing;
    if (layout == WALL_LEFT || layout == BOXED_IN) add_box(46, 0, 3, 26);
    if (layout == BOXED_IN) add_box(50 + enemy.width + 1, 0, 3, 26);
    return enemy;
}

// A hop carries four pixels over the animation's 19 or 6 frames of 0.0833 s.
// At a blocked probe kind 3 turns at once, and once a frame when boxed in;
// kind 4 plays its turn of 7 frames still facing the old way. The right
// probe looks for ground a row lower than the left one.
TEST(Patroller, HopsFourPixelsAndTurnsWhereAProbeIsBlocked) {
    // kind, facing, layout, frames run; facing, state and x after
    const std::tuple<int32_t, int32_t, Layout, int, int32_t, int32_t, float> cases[] = {
        {SMALL, LEFT, OPEN, 99, LEFT, MOVING, 46},       {SMALL, LEFT, OPEN, 100, LEFT, IDLE, 46},
        {SMALL, RIGHT, OPEN, 100, RIGHT, IDLE, 54},      {LARGE, LEFT, OPEN, 33, LEFT, IDLE, 46},
        {SMALL, LEFT, WALL_LEFT, 1, RIGHT, MOVING, 50},  {SMALL, LEFT, BOXED_IN, 1, RIGHT, IDLE, 50},
        {SMALL, LEFT, BOXED_IN, 2, LEFT, IDLE, 50},      {LARGE, LEFT, WALL_LEFT, 37, LEFT, TURNING, 50},
        {LARGE, LEFT, WALL_LEFT, 38, RIGHT, IDLE, 50},   {SMALL, LEFT, THIN_FLOOR, 1, LEFT, MOVING, 50},
        {SMALL, RIGHT, THIN_FLOOR, 1, LEFT, IDLE, 50},
    };
    for (const auto &[kind, facing, layout, frames, facing_after, state_after, x_after] : cases) {
        Enemy &enemy = patroller(kind, facing, layout);
        for (int i = 0; i < frames; ++i) patroller_step(enemy, FRAME_DT);
        SCOPED_TRACE(testing::Message() << kind << " " << facing << " layout " << layout << ", " << frames);
        EXPECT_EQ(enemy.facing, facing_after);
        EXPECT_EQ(enemy.state, state_after);
        EXPECT_EQ(enemy.x, x_after);
    }
}

// The pause after a hop draws r mod 10 first and r mod 8 only for a 9.
TEST(Patroller, PauseAfterAHopDrawsTheSecondValueOnlyWhenUsed) {
    for (const bool nine : {true, false}) {
        Enemy &enemy = patroller(ENEMY_SMALL, DIR_LEFT);
        enemy.state = MOVING;
        enemy.behaviour_timer = 0.01f;
        uint32_t seed = 0;
        do random_state = ++seed;
        while ((random_next() % 10 == 9) != nine);
        const uint32_t after_one = random_state;
        const int32_t second = random_next();
        const uint32_t after_two = random_state;
        random_state = seed;
        patroller_step(enemy, FRAME_DT);
        EXPECT_EQ(enemy.state, IDLE);
        EXPECT_EQ(enemy.behaviour_timer, nine ? static_cast<float>(second % 8) / 5.0f : 0.01f);
        EXPECT_EQ(random_state, nine ? after_two : after_one);
    }
}

TEST(Damage, TheLastEnemyOfLevelFourRevealsTheAbility) {
    // level, ability owned, another enemy alive, revealed
    const std::tuple<int32_t, bool, bool, bool> cases[] = {
        {4, false, false, true}, {4, true, false, false}, {3, false, false, false}, {4, false, true, false}};
    for (const auto &[level, owned, another_alive, reveals] : cases) {
        world_reset(100, 60);
        level_state.level = level;
        settings.buttstomp = owned;
        add_enemy(ENEMY_SMALL, 10, 10).active = false;
        Enemy &target = add_enemy(ENEMY_SMALL, 30, 10);
        target.health = 0;
        if (another_alive) add_enemy(ENEMY_WALKER, 50, 10);
        Pickup &pickup = *pickup_append();
        pickup = {0, 0, true, PICKUP_STOMP, 0, 1, 0.0f, 0.0f, 3, 3, true};
        damage_enemy(target);
        EXPECT_FALSE(target.active);
        EXPECT_EQ(!pickup.hidden, reveals) << level << owned << another_alive;
        EXPECT_EQ(plays(SOUND_SECRET_FOUND), reveals ? 1 : 0) << level << owned << another_alive;
    }
}

Projectile shot_at(float x, float y, int32_t direction) {
    return {x, y, 0.8f, 35.22f, 4, 0, FRAME_TIME_12FPS, 0.0f, PROJECTILE_SHOT, direction};
}

TEST(Projectile, ShotsCannotHitOnePixelEnemies) {
    for (const int32_t kind : {ENEMY_WALKER, ENEMY_HAZARD}) {
        world_reset(100, 60);
        Enemy &enemy = add_enemy(kind, 20, 10);
        Projectile shot = shot_at(10, 10, DIR_RIGHT);
        for (int frame = 0; frame < 40; ++frame) update_projectile(shot, FRAME_DT);
        EXPECT_GT(shot.x, 21.0f);
        EXPECT_GT(shot.lifetime, 0.0f);
        EXPECT_EQ(enemy.health, 3);
    }
}

// Two sprite enemies whose target boxes both hold the shot's pixel. A hit
// protects the enemy for 0.4 s, and the search runs once per active enemy:
// only a kill lets a later search hit the one behind.
TEST(Projectile, TheSearchRepeatsOncePerActiveEnemy) {
    // the first enemy's health and hurt time; both healths after
    const std::tuple<int32_t, float, int32_t, int32_t> cases[] = {
        {1, 0.0f, 0, 5}, {0, 0.0f, -1, 4}, {3, 0.3f, 3, 5}};
    for (const auto &[health, hurt, first_after, second_after] : cases) {
        world_reset(100, 60);
        Enemy &first = add_enemy(ENEMY_SMALL, 20, 10);  // box x 21..24, y 11..15
        first.health = health;
        first.hurt_timer = hurt;
        Enemy &second = add_enemy(ENEMY_LARGE, 20, 8);  // box x 22..29, y 11..19
        Projectile shot = shot_at(22.5f, 12.5f, 99);    // a direction that does not move
        update_projectile(shot, FRAME_DT);
        EXPECT_EQ(shot.lifetime, 0.0f) << health;
        EXPECT_EQ(first.health, first_after) << health;
        EXPECT_EQ(second.health, second_after) << health;
    }
}

}  // namespace
