// The world renderer and the actors, drawn into a level texture on the
// software renderer with the fixture archive's sheets.
#include "common/controls.h"
#include "render/actors.h"
#include "render/hud.h"
#include "render/world_render.h"
#include "render_support.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr Rgba RED = {255, 0, 0, 255};
constexpr Rgba GREEN = {0, 255, 0, 255};
constexpr Rgba BLUE = {0, 0, 255, 255};
constexpr Rgba CYAN = {0, 255, 255, 255};
constexpr Rgba MAGENTA = {255, 0, 255, 255};
constexpr Rgba YELLOW = {255, 255, 0, 255};
constexpr Rgba CLEAR = {0, 0, 0, 0};

class WorldDraw : public RenderTest {
protected:
    void TearDown() override {
        for (SDL_Texture *texture : made) SDL_DestroyTexture(texture);
        made.clear();
    }

    // A level texture of the level's size, cleared to black.
    SDL_Texture *level_target(int width, int height) {
        reset_world(width, height);
        SDL_Texture *target = make_target(width, height);
        made.push_back(target);
        level_state.level_texture = target;
        clear_target(target);
        return target;
    }

    // A plain picture with a red first column, so its left edge can be found.
    SDL_Texture *marked_picture(int width, int height, Rgba fill = BLUE) {
        std::vector<Rgba> pixels(static_cast<size_t>(width) * height, fill);
        for (int y = 0; y < height; ++y) pixels[static_cast<size_t>(y) * width] = RED;
        made.push_back(make_texture(width, height, pixels));
        return made.back();
    }

    SDL_Texture *plain_picture(int width, int height, Rgba fill) {
        made.push_back(make_texture(width, height, std::vector<Rgba>(static_cast<size_t>(width) * height, fill)));
        return made.back();
    }

    static Layer layer_of(SDL_Texture *texture, int width, int height) {
        Layer layer = {};
        layer.width = width;
        layer.height = height;
        layer.frames = 1;
        layer.present = true;
        layer.texture = texture;
        return layer;
    }

    // The columns of the row that hold the red mark.
    static std::vector<int> red_columns(const Picture &picture, int y) {
        std::vector<int> columns;
        for (int x = 0; x < picture.width; ++x) {
            if (picture.at(x, y) == RED) columns.push_back(x);
        }
        return columns;
    }

    std::vector<SDL_Texture *> made;
};

// Swaps a sprite sheet for the test's own picture until the end of scope.
struct SheetSwap {
    SheetSwap(SDL_Texture **sheet, SDL_Texture *replacement) : sheet(sheet), kept(*sheet) { *sheet = replacement; }
    ~SheetSwap() { *sheet = kept; }
    SDL_Texture **sheet;
    SDL_Texture *kept;
};

Projectile shot_at(float x, float y, int32_t direction) {
    Projectile shot = {};
    shot.x = x;
    shot.y = y;
    shot.lifetime = 0.5f;
    shot.kind = PROJECTILE_SHOT;
    shot.direction = direction;
    return shot;
}

}  // namespace

TEST_F(WorldDraw, ParallaxPutsTheLayersEdgesOnTheLevelsEdgesAtBothEnds) {
    struct Case {
        int level_w, level_h, layer_w, layer_h;
        float camera_x, camera_y;
        int x, y;  // where the layer's top-left lands
    };
    const Case cases[] = {
        {200, 100, 100, 50, 0.0f, 0.0f, 0, 0},
        {200, 100, 100, 50, 136.0f, 64.0f, 100, 50},  // right and bottom edges on the level's
        {200, 100, 100, 50, 68.0f, 32.0f, 50, 25},
        {64, 100, 100, 50, 0.0f, 64.0f, 0, 50},        // as wide as the view: no far end, x stays 0
        {200, 36, 100, 50, 136.0f, 0.0f, 100, 0},      // as high as the view: y stays 0
        {200, 100, 64, 36, 37.4f, 20.6f, 37, 21},      // as large as the view: still on screen
        {200, 100, 64, 36, 136.0f, 64.0f, 136, 64},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(c.level_w, c.level_h);
        level_state.camera_x = c.camera_x;
        level_state.camera_y = c.camera_y;
        draw_layer(layer_of(marked_picture(c.layer_w, c.layer_h), c.layer_w, c.layer_h));
        const Picture picture = read_target(target);
        const std::string where = std::to_string(c.level_w) + "x" + std::to_string(c.level_h) + " at " +
                                  std::to_string(c.camera_x) + "," + std::to_string(c.camera_y);
        EXPECT_EQ(picture.at(c.x, c.y), RED) << where;
        EXPECT_EQ(picture.at(std::min(c.x + c.layer_w, c.level_w) - 1, std::min(c.y + c.layer_h, c.level_h) - 1), BLUE) << where;
        EXPECT_EQ(picture.at(c.x - 1, c.y), BLACK) << where;
        EXPECT_EQ(picture.at(c.x, c.y - 1), BLACK) << where;
    }
}

TEST_F(WorldDraw, AScrollingLayerIsDrawnTwiceSideBySide) {
    struct Case {
        float offset;
        std::vector<int> marks;
        int first_covered;
    };
    // At the far end the 96-wide layer lies at 104; the copies sit at
    // 104 + offset and one layer width to its left.
    const Case cases[] = {{0.0f, {8, 104}, 8}, {10.4f, {18, 114}, 18}, {96.0f, {104}, 104}};
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(200, 36);
        level_state.camera_x = 136.0f;
        Layer layer = layer_of(marked_picture(96, 36), 96, 36);
        layer.scroll_speed = 2.0f;
        layer.scroll_offset = c.offset;
        draw_layer(layer);
        const Picture picture = read_target(target);
        EXPECT_EQ(red_columns(picture, 5), c.marks) << c.offset;
        EXPECT_EQ(picture.at(c.first_covered - 1, 5), BLACK) << c.offset;
        EXPECT_EQ(picture.lit_in_row(5), 200 - c.first_covered) << c.offset;
    }
    // Without scrolling the layer is drawn once.
    SDL_Texture *target = level_target(200, 36);
    level_state.camera_x = 136.0f;
    draw_layer(layer_of(marked_picture(96, 36), 96, 36));
    EXPECT_EQ(red_columns(read_target(target), 5), std::vector<int>{104});
}

TEST_F(WorldDraw, DrawsInOrderBossAbovePlayerForegroundAboveBossDarknessThenPickups) {
    SDL_Texture *target = level_target(200, 200);
    BG = layer_of(plain_picture(200, 200, WHITE), 200, 200);
    std::vector<Rgba> foreground(200 * 200, CLEAR);
    foreground[110 * 200 + 90] = GREEN;
    FG = layer_of(make_texture(200, 200, foreground), 200, 200);
    made.push_back(FG.texture);
    player.x = 100.0f;
    player.y = 100.0f;
    player.facing = DIR_RIGHT;
    boss.timer = 1.0f;  // risen to y 92, red from row 94
    Pickup &shown = *pickup_append();
    shown = {40, 100, true, PICKUP_STOMP, 0, 12, 0.0f, 0.0f, 8, 11, false};
    Pickup &hidden = *pickup_append();
    hidden = shown;
    hidden.x = 60;
    hidden.hidden = true;
    Doodad &invisible = *doodad_append();
    invisible = {};
    invisible.active = true;
    invisible.x = 150.0f;
    invisible.y = 10.0f;
    invisible.width = invisible.height = 10;
    invisible.type = -1;

    draw_world();
    const Picture picture = read_target(target);
    EXPECT_EQ(picture.at(100, 100), RED);      // the boss covers the player
    EXPECT_EQ(picture.at(90, 110), GREEN);     // the foreground covers the boss, in the light
    EXPECT_EQ(picture.at(41, 100), MAGENTA);   // the pickup lies above the darkness
    const Rgba darkened = picture.at(61, 100);  // under the hidden pickup: the darkened level
    EXPECT_NEAR(darkened.r, 210, 2);           // half-dark picture at alpha 90
    EXPECT_EQ(picture.at(155, 15), WHITE);     // the invisible box draws nothing
}

TEST_F(WorldDraw, TheDarknessHasFourLooksAndTwoStrengths) {
    // Column 0 of the first picture red, of the second green.
    std::vector<Rgba> sheet(140 * 235, CLEAR);
    for (int y = 35; y < 135; ++y) sheet[static_cast<size_t>(y) * 140] = RED;
    for (int y = 135; y < 235; ++y) sheet[static_cast<size_t>(y) * 140] = GREEN;
    SDL_Texture *looks = make_texture(140, 235, sheet);
    made.push_back(looks);
    SheetSwap swap(&effects_texture, looks);
    struct Case {
        int flicker;
        bool dark_level;
        int lit_x;  // the picture's marked column: 30 plain, 169 mirrored
        bool green;
        int alpha;
    };
    const Case cases[] = {
        {0, false, 169, false, 90}, {1, false, 30, false, 90}, {2, false, 169, true, 90},
        {3, false, 30, true, 90},   {0, true, 169, false, 220}, {3, true, 30, true, 220},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(200, 200);
        player.x = 100.4f;  // the picture's left edge at 100.4 - 70, rounded
        player.y = 100.0f;
        level_state.flicker = c.flicker;
        level_state.flashlight = c.dark_level;
        draw_world();
        const Picture picture = read_target(target);
        const Rgba mark = picture.at(c.lit_x, 120);
        EXPECT_NEAR(c.green ? mark.g : mark.r, c.alpha, 1) << "flicker " << c.flicker;
        EXPECT_EQ(picture.at(c.lit_x == 30 ? 169 : 30, 120), BLACK) << "flicker " << c.flicker;
    }
    Uint8 alpha = 0;
    SDL_GetTextureAlphaMod(looks, &alpha);
    EXPECT_EQ(alpha, 255);  // the sheet's alpha goes back for the effects
}

TEST_F(WorldDraw, TheBossRisesFrom127To92AndStays) {
    struct Case {
        float seconds_left;
        int y;
    };
    const Case cases[] = {{12.0f, 127}, {11.0f, 123}, {2.6f, 93}, {2.5f, 92}, {0.5f, 92}};
    for (const Case &c : cases) EXPECT_EQ(boss_drawn_y(c.seconds_left), c.y) << c.seconds_left;

    // The fixture boss is red from its third row, fifth column.
    SDL_Texture *target = level_target(200, 200);
    boss.timer = 12.0f;
    draw_world();
    Picture picture = read_target(target);
    EXPECT_EQ(picture.at(83, 129), RED);
    EXPECT_EQ(picture.at(83, 128), BLACK);
    boss.timer = 0.0f;  // not running: no boss
    clear_target(target);
    draw_world();
    picture = read_target(target);
    EXPECT_EQ(picture.at(83, 129), BLACK);
}

TEST_F(WorldDraw, ASideShotGrowsOutOfTheGun) {
    struct Case {
        int32_t direction;
        float player_x, shot_x;
        std::vector<Rgba> row;  // pixels 26..33 of row 5 (the fixture shot is y w w w)
    };
    const Rgba K = BLACK, W = WHITE, Y = YELLOW;
    const Case cases[] = {
        {DIR_RIGHT, 25.0f, 27.0f, {K, K, K, K, K, K, K, K}},  // 2 pixels out: nothing yet
        {DIR_RIGHT, 25.0f, 28.0f, {W, K, K, K, K, K, K, K}},  // 3 out: the head, in front of the gun
        {DIR_RIGHT, 25.0f, 29.0f, {Y, W, W, W, K, K, K, K}},  // 4 out: whole
        {DIR_RIGHT, 25.0f, 33.4f, {K, K, K, K, Y, W, W, W}},
        {DIR_LEFT, 33.0f, 31.0f, {K, K, K, K, W, W, K, K}},   // the left rule: 2 pixels from 30
        {DIR_LEFT, 33.0f, 29.0f, {K, K, K, K, W, W, W, Y}},   // whole, mirrored
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        player.x = c.player_x;
        draw_shot(shot_at(c.shot_x, 5.0f, c.direction));
        const Picture picture = read_target(target);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(picture.at(26 + i, 5), c.row[i]) << c.shot_x << " pixel " << 26 + i;
        EXPECT_EQ(picture.lit(), picture.lit_in_row(5)) << c.shot_x;
    }
}

TEST_F(WorldDraw, UpAndDownShotsStandAndOtherShotsDrawNothing) {
    SDL_Texture *target = level_target(64, 36);
    draw_shot(shot_at(10.0f, 10.0f, DIR_UP));
    Picture picture = read_target(target);
    EXPECT_EQ(picture.at(10, 9), YELLOW);
    for (int y = 10; y <= 12; ++y) EXPECT_EQ(picture.at(10, y), WHITE) << y;
    EXPECT_EQ(picture.lit(), 4);

    clear_target(target);
    draw_shot(shot_at(10.0f, 10.0f, DIR_DOWN));
    picture = read_target(target);
    EXPECT_EQ(picture.lit(), 4);
    // Turned a quarter clockwise about its middle: the picture's right end,
    // the head, leads downward in column x + 1.
    EXPECT_EQ(picture.at(11, 12), YELLOW);
    for (int y = 13; y <= 15; ++y) EXPECT_EQ(picture.at(11, y), WHITE) << y;

    clear_target(target);
    Projectile debris = shot_at(10.0f, 10.0f, DIR_RIGHT);
    debris.kind = PROJECTILE_DEBRIS;
    draw_shot(debris);
    draw_shot(shot_at(10.0f, 10.0f, DIR_UP_RIGHT));
    EXPECT_EQ(read_target(target).lit(), 0);
}

TEST_F(WorldDraw, AHurtEnemyBlinksBlackEveryFiftiethOfASecond) {
    struct Case {
        float hurt_timer;
        Rgba body;
    };
    const Case cases[] = {{0.4f, RED}, {0.35f, BLACK}, {0.3f, RED}, {0.0f, RED}, {0.37f, BLACK}};
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        clear_target(target, WHITE);
        Enemy enemy = {};
        enemy.active = true;
        enemy.x = 10.0f;
        enemy.y = 10.0f;
        enemy.width = 7;
        enemy.height = 6;
        enemy.kind = ENEMY_SMALL;
        enemy.facing = DIR_LEFT;
        enemy.hurt_timer = c.hurt_timer;
        draw_enemy(enemy);
        const Picture picture = read_target(target);
        EXPECT_EQ(picture.at(11, 11), c.body) << c.hurt_timer;
        EXPECT_EQ(picture.at(10, 10), WHITE) << c.hurt_timer;  // the clear corner stays clear
    }
}

TEST_F(WorldDraw, EnemiesFaceTheirWayAndTurn) {
    std::vector<Rgba> sheet(133 * 30, CLEAR);
    for (int y = 0; y < 6; ++y) sheet[static_cast<size_t>(y) * 133] = GREEN;  // frame 0's left column
    SDL_Texture *facing_sheet = make_texture(133, 30, sheet);
    made.push_back(facing_sheet);
    Enemy enemy = {};
    enemy.active = true;
    enemy.x = 10.0f;
    enemy.y = 10.0f;
    enemy.width = 7;
    enemy.height = 6;
    enemy.kind = ENEMY_SMALL;
    {
        SheetSwap swap(&enemies_texture, facing_sheet);
        for (int32_t facing : {DIR_LEFT, DIR_RIGHT}) {
            SDL_Texture *target = level_target(64, 36);
            enemy.facing = facing;
            draw_enemy(enemy);
            EXPECT_EQ(read_target(target).at(facing == DIR_LEFT ? 10 : 16, 12), GREEN) << facing;
        }
    }
    // The large kind shows its turning row in state 3.
    enemy.kind = ENEMY_LARGE;
    enemy.width = enemy.height = 12;
    for (int32_t state : {0, 3}) {
        SDL_Texture *target = level_target(64, 36);
        enemy.state = state;
        draw_enemy(enemy);
        EXPECT_EQ(read_target(target).at(16, 16), state == 3 ? CYAN : BLUE) << state;
    }
}

TEST_F(WorldDraw, UnknownEnemyKindsAndEffectTypesDrawNothing) {
    SDL_Texture *target = level_target(64, 36);
    for (int32_t kind : {1, 2, 5, -1, 1000}) {
        Enemy enemy = {};
        enemy.active = true;
        enemy.x = enemy.y = 10.0f;
        enemy.width = enemy.height = 12;
        enemy.kind = kind;
        draw_enemy(enemy);
    }
    for (int32_t type : {2, 3, 8, 11, -1, 1 << 30}) {
        Effect effect = {};
        effect.active = true;
        effect.x = effect.y = 20.0f;
        effect.width = effect.height = 7;
        effect.type = type;
        effect.lifetime = 1.0f;
        draw_effect(effect);
    }
    EXPECT_EQ(read_target(target).lit(), 0);
}

TEST_F(WorldDraw, EffectsShowTheirPictureOrTwoFadingPixels) {
    struct Case {
        int32_t type;
        bool flip;
        float age, lifetime;
        std::vector<std::pair<int, int>> pixels;  // lit pixels around (20, 20)
        Rgba colour;
    };
    const Case cases[] = {
        {10, false, 0.0f, 0.0f, {{20, 20}, {21, 20}, {22, 20}}, YELLOW},  // muzzle flash
        {10, true, 0.0f, 0.0f, {{18, 20}, {19, 20}, {20, 20}}, YELLOW},
        {5, false, 0.0f, 1.0f, {{20, 20}, {20, 19}}, {255, 100, 255, 255}},  // stomp trail
        {6, false, 0.1f, 0.2f, {{20, 20}, {19, 20}}, {128, 50, 128, 255}},   // dash dust, half gone
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        spawn_effect(c.type, 20.0f, 20.0f, c.flip, 0.0f, 0.0f);
        effects[0].age = c.age;
        draw_effect(effects[0]);
        const Picture picture = read_target(target);
        EXPECT_EQ(picture.lit(), static_cast<int>(c.pixels.size())) << c.type;
        for (const auto &[x, y] : c.pixels) {
            const Rgba got = picture.at(x, y);
            EXPECT_NEAR(got.r, c.colour.r, 1) << c.type << " at " << x << "," << y;
            EXPECT_NEAR(got.g, c.colour.g, 1) << c.type << " at " << x << "," << y;
            EXPECT_NEAR(got.b, c.colour.b, 1) << c.type << " at " << x << "," << y;
        }
    }
}

TEST_F(WorldDraw, ADeadPlayerShowsOnlyBlueDebrisAndItsShots) {
    SDL_Texture *target = level_target(64, 36);
    player.state = PLAYER_DEAD;
    player.x = 10.0f;
    player.y = 10.0f;
    player.shoot_cooldown = 0.15f;
    player.debris[0] = shot_at(5.4f, 5.6f, DIR_UP);
    player.debris[0].kind = PROJECTILE_DEBRIS;
    player.debris[3] = player.debris[0];
    player.debris[3].x = 20.0f;
    player.debris[3].lifetime = 0.0f;  // ended
    player.shots[1] = shot_at(40.0f, 10.0f, DIR_RIGHT);
    draw_player();
    const Picture picture = read_target(target);
    EXPECT_EQ(picture.at(5, 6), (Rgba{50, 74, 244, 255}));
    EXPECT_EQ(picture.lit_in_row(10), 4);  // the shot alone
    EXPECT_EQ(picture.lit(), 5);
}

TEST_F(WorldDraw, ThePlayersColoursShowShotsHurtAndLandings) {
    struct Case {
        float shoot_cooldown, hurt_timer, landing_timer;
        Rgba body;
        int head_alpha;
    };
    const Rgba plain = {229, 0, 255, 255};
    const Case cases[] = {
        {0.15f, 0.5f, 0.0f, {229, 100, 255, 255}, 255},  // a fresh shot wins over hurt
        {0.1f, 0.5f, 0.0f, {229, 255, 255, 255}, 255},
        {0.0f, 0.05f, 0.0f, plain, 255},
        {0.0f, 0.85f, 0.0f, plain, 255},
        {0.0f, 0.0f, 0.05f, plain, 185},
        {0.0f, 0.0f, 0.1f, plain, 147},
        {0.0f, 0.0f, 0.2f, plain, 89},
        {0.0f, 0.0f, 0.3f, plain, 147},
        {0.0f, 0.0f, 0.0833333f, plain, 255},  // on a bound the body colour stays
        {0.0f, 0.0f, 0.34f, plain, 255},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        player.x = 10.0f;
        player.y = 10.0f;
        player.facing = DIR_RIGHT;
        player.shoot_cooldown = c.shoot_cooldown;
        player.hurt_timer = c.hurt_timer;
        player.landing_timer = c.landing_timer;
        draw_player();
        const Picture picture = read_target(target);
        EXPECT_EQ(picture.at(10, 10), c.body) << c.shoot_cooldown << " " << c.hurt_timer;
        if (c.head_alpha == 255) {
            EXPECT_EQ(picture.at(10, 9), c.body) << c.landing_timer;
        } else {
            EXPECT_NEAR(picture.at(10, 9).b, c.head_alpha, 1) << c.landing_timer;
        }
    }
}

TEST_F(WorldDraw, TheGunPointsWhereThePlayerAims) {
    struct Case {
        int32_t state, facing;
        bool up, down;
        int x, y;
    };
    const Case cases[] = {
        {PLAYER_STANDING, DIR_RIGHT, false, false, 11, 9}, {PLAYER_STANDING, DIR_LEFT, false, false, 9, 9},
        {PLAYER_AIRBORNE, DIR_LEFT, true, false, 10, 8},   {PLAYER_AIRBORNE, DIR_RIGHT, false, true, 10, 10},
        {PLAYER_CROUCHING, DIR_LEFT, false, true, 9, 10},  {PLAYER_CROUCHING, DIR_RIGHT, true, false, 11, 10},
    };
    const Rgba grey = {125, 125, 125, 255};
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        player.x = 10.0f;
        player.y = 10.0f;
        player.state = c.state;
        player.facing = c.facing;
        controls = {};
        controls.up = c.up;
        controls.down = c.down;
        draw_player();
        EXPECT_EQ(read_target(target).at(c.x, c.y), grey) << c.state << " " << c.facing;
    }
    controls = {};
    // Dashing: two pixels lying flat, no head and no gun.
    SDL_Texture *target = level_target(64, 36);
    player.x = 10.0f;
    player.y = 10.0f;
    player.state = PLAYER_DASHING;
    player.facing = DIR_LEFT;
    draw_player();
    const Picture picture = read_target(target);
    EXPECT_EQ(picture.at(9, 10), (Rgba{229, 0, 255, 255}));
    EXPECT_EQ(picture.lit(), 2);
}

TEST_F(WorldDraw, TheStompWindUpGlowsUpAndDownAgain) {
    auto glow = [&](float stomp_timer) {
        SDL_Texture *target = level_target(64, 36);
        player.x = 10.0f;
        player.y = 10.0f;
        player.state = PLAYER_STOMPING;
        player.stomp_timer = stomp_timer;
        draw_player();
        return static_cast<int>(read_target(target).at(10, 8).g);  // the top of the five
    };
    EXPECT_EQ(glow(0.1f), 0);
    EXPECT_EQ(glow(0.4f), 0);
    EXPECT_LT(glow(0.12f), glow(0.18f));
    EXPECT_LT(glow(0.18f), glow(0.25f));
    EXPECT_GT(glow(0.25f), glow(0.32f));
    EXPECT_GT(glow(0.32f), glow(0.38f));
    EXPECT_GE(glow(0.25f), 254);
}

TEST_F(WorldDraw, WithoutSpriteSheetsOnlyLayersPixelsTextAndFillsAreDrawn) {
    SheetSwap sheets[] = {{&ui_texture, nullptr},       {&enemies_texture, nullptr}, {&effects_texture, nullptr},
                          {&pickups_texture, nullptr},  {&projectiles_texture, nullptr},
                          {&doodads_texture, nullptr},  {&boss_texture, nullptr}};
    SDL_Texture *target = level_target(200, 200);
    BG = layer_of(plain_picture(200, 200, WHITE), 200, 200);
    Doodad &doodad = *doodad_append();
    doodad.active = true;
    doodad.x = doodad.y = 20.0f;
    doodad.width = doodad.height = 6;
    doodad.type = 6;
    doodad.sheet_y = 72;
    Enemy &enemy = *enemy_append();
    enemy.active = true;
    enemy.x = enemy.y = 40.0f;
    enemy.width = enemy.height = 12;
    enemy.kind = ENEMY_LARGE;
    spawn_effect(7, 60.0f, 60.0f, false, 0.0f, 0.0f);
    player.x = player.y = 100.0f;
    player.shots[0] = shot_at(110.0f, 99.0f, DIR_RIGHT);
    boss.timer = 1.0f;
    draw_world();
    const Picture picture = read_target(target);
    for (const auto &[x, y] : {std::pair{22, 22}, {45, 45}, {60, 60}, {111, 99}, {150, 150}}) {
        EXPECT_EQ(picture.at(x, y), WHITE) << x << "," << y;
    }
    EXPECT_EQ(picture.at(100, 100), (Rgba{229, 0, 255, 255}));  // the player's pixels are drawn

    level_state.level = 3;
    player.health = 5;
    std::strcpy(level_state.title, "A");
    level_state.title_timer = 2.0f;
    clear_target(canvas);
    hud_draw();
    const Picture hud = read_target(canvas);
    EXPECT_EQ(hud.lit_in_row(3), 0);  // no bar
    EXPECT_GT(hud.lit_in_row(12), 0);  // the title
}
