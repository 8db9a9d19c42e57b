// Enemies and what hits them: walkers, patrollers, damage with the level-4
// secret, and the shots' flight and hit search.
#include "player/enemy.h"

#include "player/projectile.h"
#include "player_world.h"

#include "common/numeric.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int32_t IDLE = 0, MOVING = 1, TURNING = 3;

// The random value the next draw will give, without taking it.
int32_t next_random() {
    const uint32_t saved = random_state;
    const int32_t value = random_next();
    random_state = saved;
    return value;
}

TEST(Walker, StaysOnItsGroundBetweenLedgesAndWalls) {
    const struct {
        const char *name;
        int32_t low, high;  // the columns it may stand on
    } cases[] = {
        {"platform with two ledges", 20, 29},
        {"floor between two walls", 23, 26},
    };
    for (const auto &c : cases) {
        world_reset(100, 60);
        if (c.low == 20) {
            add_box(20, 30, 10, 2);
        } else {
            add_box(0, 30, 100, 2);
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
            ASSERT_EQ(walker.y, 29.0f) << c.name;
        }
        EXPECT_EQ(lowest, c.low) << c.name;
        EXPECT_EQ(highest, c.high) << c.name;
    }
}

TEST(Walker, IdlesEighthsOfFifthsAndWalksFifteenthsOfSixths) {
    const struct {
        int32_t state_before, state_after;
        int32_t modulus;
        float divisor;
    } cases[] = {
        {IDLE, MOVING, 15, 6.0f},
        {MOVING, IDLE, 8, 5.0f},
    };
    for (const auto &c : cases) {
        for (uint32_t seed : {1u, 7u, 12345u, 99999u}) {
            world_reset(100, 60);
            add_box(0, 30, 100, 2);
            Enemy &walker = add_enemy(ENEMY_WALKER, 50, 29);
            walker.state = c.state_before;
            walker.behaviour_timer = 0.01f;
            random_state = seed;
            const int32_t r = next_random();
            walker_step(walker, FRAME_DT);
            EXPECT_EQ(walker.state, c.state_after);
            EXPECT_EQ(walker.behaviour_timer, static_cast<float>(r % c.modulus) / c.divisor) << seed;
        }
    }
}

TEST(Walker, WalksOnTheFrameThatEndsTheWalk) {
    world_reset(100, 60);
    add_box(0, 30, 100, 2);
    Enemy &walker = add_enemy(ENEMY_WALKER, 50, 29);
    walker.state = MOVING;
    walker.facing = DIR_RIGHT;
    walker.behaviour_timer = 0.01f;
    walker_step(walker, FRAME_DT);
    EXPECT_EQ(walker.state, IDLE);
    EXPECT_FLOAT_EQ(walker.x, 50 + 15 * FRAME_DT);
}

// A floor over rows 26..29 and a patroller standing on it, idle.
Enemy &patroller_on_floor(int32_t kind, int32_t facing) {
    world_reset(200, 60);
    add_box(0, 26, 200, 4);
    Enemy &enemy = add_enemy(kind, 50, kind == ENEMY_SMALL ? 20 : 14);
    enemy.state = IDLE;
    enemy.facing = facing;
    return enemy;
}

// Walls that block the probes on each side of a patroller at x 50.
void wall_left() { add_box(46, 0, 3, 26); }
void wall_right(const Enemy &enemy) { add_box(50 + enemy.width + 1, 0, 3, 26); }

TEST(Patroller, KindThreeBoxedInTurnsEveryFrame) {
    Enemy &enemy = patroller_on_floor(ENEMY_SMALL, DIR_LEFT);
    wall_left();
    wall_right(enemy);
    int32_t facing = enemy.facing;
    for (int frame = 0; frame < 10; ++frame) {
        patroller_step(enemy, FRAME_DT);
        EXPECT_NE(enemy.facing, facing) << frame;
        EXPECT_EQ(enemy.state, IDLE);
        facing = enemy.facing;
    }
    EXPECT_EQ(enemy.x, 50.0f);
}

TEST(Patroller, KindThreeTurnsAndHopsTheOtherWayInOneFrame) {
    Enemy &enemy = patroller_on_floor(ENEMY_SMALL, DIR_LEFT);
    wall_left();
    patroller_step(enemy, FRAME_DT);
    EXPECT_EQ(enemy.facing, DIR_RIGHT);
    EXPECT_EQ(enemy.state, MOVING);
}

TEST(Patroller, KindFourPlaysItsTurnBeforeFacingTheOtherWay) {
    Enemy &enemy = patroller_on_floor(ENEMY_LARGE, DIR_LEFT);
    wall_left();
    int frames = 0;
    do {
        patroller_step(enemy, FRAME_DT);
        ++frames;
        if (enemy.state == TURNING) {
            EXPECT_EQ(enemy.facing, DIR_LEFT);
            EXPECT_LE(enemy.frame, 6);
        }
    } while (enemy.state == TURNING && frames < 200);
    // 7 frames of 0.0833 s.
    EXPECT_EQ(frames, 1 + 37);
    EXPECT_EQ(enemy.facing, DIR_RIGHT);
    EXPECT_EQ(enemy.state, IDLE);
    patroller_step(enemy, FRAME_DT);  // the 0.01 s pause
    EXPECT_EQ(enemy.state, MOVING);
    EXPECT_EQ(enemy.facing, DIR_RIGHT);
}

TEST(Patroller, AHopCarriesFourPixelsOverTheAnimation) {
    const struct {
        int32_t kind;
        int frames;  // 19 or 6 animation frames of 0.0833 s at 16 ms
    } cases[] = {
        {ENEMY_SMALL, 99},
        {ENEMY_LARGE, 32},
    };
    for (const auto &c : cases) {
        for (const int32_t facing : {DIR_LEFT, DIR_RIGHT}) {
            Enemy &enemy = patroller_on_floor(c.kind, facing);
            patroller_step(enemy, FRAME_DT);
            ASSERT_EQ(enemy.state, MOVING);
            int frames = 0;
            while (enemy.state == MOVING && frames < 500) {
                patroller_step(enemy, FRAME_DT);
                ++frames;
            }
            EXPECT_EQ(frames, c.frames) << c.kind;
            EXPECT_EQ(enemy.x, facing == DIR_LEFT ? 46.0f : 54.0f) << c.kind;
        }
    }
}

// The pause after a hop draws r mod 10 first and r mod 8 only for a 9.
TEST(Patroller, PauseAfterAHopDrawsTheSecondValueOnlyWhenUsed) {
    uint32_t seed_nine = 0, seed_other = 0;
    for (uint32_t seed = 1; seed_nine == 0 || seed_other == 0; ++seed) {
        random_state = seed;
        (random_next() % 10 == 9 ? seed_nine : seed_other) = seed;
    }
    for (const uint32_t seed : {seed_nine, seed_other}) {
        Enemy &enemy = patroller_on_floor(ENEMY_SMALL, DIR_LEFT);
        enemy.state = MOVING;
        enemy.behaviour_timer = 0.01f;
        random_state = seed;
        random_next();
        const uint32_t after_one = random_state;
        const int32_t second = random_next();
        const uint32_t after_two = random_state;
        random_state = seed;
        patroller_step(enemy, FRAME_DT);
        EXPECT_EQ(enemy.state, IDLE);
        EXPECT_EQ(enemy.frame, 0);
        if (seed == seed_nine) {
            EXPECT_EQ(enemy.behaviour_timer, static_cast<float>(second % 8) / 5.0f);
            EXPECT_EQ(random_state, after_two);
        } else {
            EXPECT_EQ(enemy.behaviour_timer, 0.01f);
            EXPECT_EQ(random_state, after_one);
        }
    }
}

TEST(Damage, TheLastEnemyOfLevelFourRevealsTheAbility) {
    const struct {
        const char *name;
        int32_t level;
        bool ability_owned;
        bool another_alive;
        bool reveals;
    } cases[] = {
        {"level 4, last enemy", 4, false, false, true},
        {"ability already owned", 4, true, false, false},
        {"another level", 3, false, false, false},
        {"an enemy still alive", 4, false, true, false},
    };
    for (const auto &c : cases) {
        world_reset(100, 60);
        level_state.level = c.level;
        settings.buttstomp = c.ability_owned;
        Enemy &dead = add_enemy(ENEMY_SMALL, 10, 10);
        dead.active = false;
        Enemy &target = add_enemy(ENEMY_SMALL, 30, 10);
        target.health = 0;
        if (c.another_alive) add_enemy(ENEMY_WALKER, 50, 10);
        Pickup &pickup = *pickup_append();
        pickup.active = true;
        pickup.kind = PICKUP_STOMP;
        pickup.hidden = true;
        sounds_played();
        damage_enemy(target);
        EXPECT_EQ(!pickup.hidden, c.reveals) << c.name;
        EXPECT_EQ(count_sound(sounds_played(), SOUND_SECRET_FOUND), c.reveals ? 1 : 0) << c.name;
    }
}

Projectile shot_at(float x, float y, int32_t direction) {
    Projectile shot = {};
    shot.x = x;
    shot.y = y;
    shot.lifetime = 0.8f;
    shot.speed = 35.22f;
    shot.frames = 4;
    shot.frame_time = FRAME_TIME_12FPS;
    shot.direction = direction;
    return shot;
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

// Two sprite enemies whose target boxes both hold the shot's pixel.
TEST(Projectile, TheSearchRepeatsOncePerActiveEnemy) {
    const struct {
        const char *name;
        int32_t first_health;
        float first_hurt;
        int32_t first_after, second_after;
    } cases[] = {
        {"a hit counts once: the enemy is protected for 0.4 s", 3, 0.0f, 2, 5},
        {"a kill lets the next search hit the one behind", 0, 0.0f, -1, 4},
        {"protected: the shot ends without damage", 3, 0.3f, 3, 5},
    };
    for (const auto &c : cases) {
        world_reset(100, 60);
        Enemy &first = add_enemy(ENEMY_SMALL, 20, 10);  // box x 21..24, y 11..15
        first.health = c.first_health;
        first.hurt_timer = c.first_hurt;
        Enemy &second = add_enemy(ENEMY_LARGE, 20, 8);  // box x 22..29, y 11..19
        Projectile shot = shot_at(22.5f, 12.5f, 99);    // a direction that does not move
        update_projectile(shot, FRAME_DT);
        EXPECT_EQ(shot.lifetime, 0.0f) << c.name;
        EXPECT_EQ(first.health, c.first_after) << c.name;
        EXPECT_EQ(second.health, c.second_after) << c.name;
    }
}

}  // namespace
