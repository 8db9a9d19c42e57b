// The world renderer and the actors, drawn into a level texture on the
// software renderer. Whole frames of the fixture levels are pinned by the
// golden frames; these tests cover what those frames never show.
#include "common/controls.h"
#include "render/actors.h"
#include "render/hud.h"
#include "render/world_render.h"
#include "render_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

// Records are built with designated initializers; the fields left out are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr Rgba BLUE = {0, 0, 255, 255};
constexpr Rgba CYAN = {0, 255, 255, 255};
constexpr Rgba YELLOW = {255, 255, 0, 255};
constexpr Rgba CLEAR = {0, 0, 0, 0};
constexpr Rgba BODY = {229, 0, 255, 255};

// Equal within one step per channel: blending may round either way.
bool near(Rgba got, Rgba want) {
    return std::abs(got.r - want.r) <= 1 && std::abs(got.g - want.g) <= 1 && std::abs(got.b - want.b) <= 1;
}

// Swaps a sprite sheet for the test's own picture until the end of scope.
struct SheetSwap {
    SheetSwap(SDL_Texture **sheet, SDL_Texture *with) : sheet(sheet), kept(*sheet) { *sheet = with; }
    ~SheetSwap() { *sheet = kept; }
    SDL_Texture **sheet;
    SDL_Texture *kept;
};

Projectile shot_at(float x, float y, int32_t kind, int32_t direction) {
    return {.x = x, .y = y, .lifetime = 0.5f, .kind = kind, .direction = direction};
}

class WorldDraw : public RenderTest {
protected:
    void TearDown() override {
        for (SDL_Texture *texture : made) SDL_DestroyTexture(texture);
    }

    // A level texture of the level's size, cleared, with an empty world.
    SDL_Texture *level_target(int width, int height, Rgba colour = BLACK) {
        reset_world(width, height);
        made.push_back(
            SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, width, height));
        level_state.level_texture = made.back();
        clear_target(made.back(), colour);
        return made.back();
    }

    // A picture of one colour whose first column is `mark`, from the given
    // rows on (each mark reaching to the next).
    SDL_Texture *picture(int width, int height, Rgba fill, std::map<int, Rgba> marks = {}) {
        std::vector<Rgba> pixels(static_cast<size_t>(width) * height, fill);
        for (int y = 0; y < height; ++y) {
            auto mark = marks.upper_bound(y);
            if (mark != marks.begin()) pixels[static_cast<size_t>(y) * width] = std::prev(mark)->second;
        }
        made.push_back(make_texture(width, height, pixels));
        return made.back();
    }

    static Layer layer_of(SDL_Texture *texture) {
        Layer layer = {.frames = 1, .present = true, .texture = texture};
        SDL_QueryTexture(texture, nullptr, nullptr, &layer.width, &layer.height);
        return layer;
    }

    std::vector<SDL_Texture *> made;
};

}  // namespace

TEST_F(WorldDraw, ParallaxPutsTheLayersEdgesOnTheLevelsEdgesAndAScrollingLayerIsDrawnTwice) {
    // Where the layer's (or its copies') left columns and top row land.
    struct Case {
        int level_w, level_h, layer_w, layer_h;
        float camera_x, camera_y, scroll_speed, scroll_offset;
        std::vector<int> marks;
        int y;
    } const cases[] = {
        {200, 100, 100, 50, 136.0f, 64.0f, 0.0f, 0.0f, {100}, 50},  // right and bottom edges on the level's
        {200, 100, 100, 50, 68.7f, 32.0f, 0.0f, 0.0f, {51}, 25},    // 50.5 rounded
        {64, 100, 100, 50, 0.0f, 64.0f, 0.0f, 0.0f, {0}, 50},    // as wide as the view: no far end, x stays 0
        {200, 36, 100, 50, 136.0f, 0.0f, 0.0f, 0.0f, {100}, 0},  // as high as the view: y stays 0
        {200, 100, 64, 36, 37.4f, 20.6f, 0.0f, 0.0f, {37}, 21},  // as large as the view: still on screen
        // At the far end the 96-wide layer lies at 104; scrolling copies sit
        // at 104 + offset (rounded) and one layer width to its left.
        {200, 36, 96, 36, 136.0f, 0.0f, 2.0f, 10.4f, {18, 114}, 0},
        {200, 36, 96, 36, 136.0f, 0.0f, 2.0f, 96.0f, {104}, 0},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(c.level_w, c.level_h);
        level_state.camera_x = c.camera_x;
        level_state.camera_y = c.camera_y;
        Layer layer = layer_of(picture(c.layer_w, c.layer_h, BLUE, {{0, RED}}));
        layer.scroll_speed = c.scroll_speed;
        layer.scroll_offset = c.scroll_offset;
        draw_layer(layer);
        const Picture drawn = read_target(target);
        std::vector<int> marks;
        for (int x = 0; x < c.level_w; ++x) {
            if (drawn.at(x, c.y) == RED) marks.push_back(x);
        }
        SCOPED_TRACE(testing::Message() << c.camera_x << ", " << c.camera_y << " offset " << c.scroll_offset);
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(drawn.lit_in_row(c.y), std::min(c.level_w, c.marks.back() + c.layer_w) - c.marks[0]);
        EXPECT_EQ(drawn.lit_in_row(c.y - 1), 0);
    }
}

// The same scene with the sheets, then without them: only layers, pixels,
// text and fills are left.
TEST_F(WorldDraw, DrawOrderAndWhatIsLeftWithoutSpriteSheets) {
    SDL_Texture *target = level_target(200, 200);
    BG = layer_of(picture(200, 200, WHITE));
    std::vector<Rgba> foreground(200 * 200, CLEAR);
    foreground[110 * 200 + 90] = GREEN;
    made.push_back(make_texture(200, 200, foreground));
    FG = layer_of(made.back());
    player.x = player.y = 100.0f;
    boss.timer = 1.0f;  // risen to y 92, red from row 94
    *pickup_append() = {.x = 40, .y = 100, .active = true, .kind = PICKUP_STOMP, .w = 8, .h = 11};
    *doodad_append() = {.active = true, .x = 20, .y = 20, .width = 6, .height = 6, .type = 6};
    *enemy_append() = {.active = true, .x = 40, .y = 40, .width = 12, .height = 12, .kind = ENEMY_LARGE};
    spawn_effect(7, 60.0f, 60.0f, false, 0.0f, 0.0f);
    player.shots[0] = shot_at(110.0f, 99.0f, PROJECTILE_SHOT, DIR_RIGHT);
    draw_world();
    Picture drawn = read_target(target);
    EXPECT_EQ(drawn.at(100, 100), RED);                      // the boss covers the player
    EXPECT_EQ(drawn.at(90, 110), GREEN);                     // the foreground covers the boss, in the light
    EXPECT_EQ(drawn.at(41, 100), (Rgba{255, 0, 255, 255}));  // the pickup lies above the darkness
    EXPECT_NEAR(drawn.at(61, 100).r, 210, 2);                // half-dark picture at alpha 90

    SheetSwap sheets[] = {{&ui_texture, nullptr},       {&enemies_texture, nullptr}, {&enemies_blink_texture, nullptr},
                          {&effects_texture, nullptr},  {&darkness_texture, nullptr}, {&pickups_texture, nullptr},
                          {&projectiles_texture, nullptr}, {&doodads_texture, nullptr},
                          {&boss_texture, nullptr}};
    clear_target(target);
    draw_world();
    drawn = read_target(target);
    EXPECT_EQ(drawn.lit(WHITE), 4);  // the player's body, head and gun, and the foreground's pixel
    EXPECT_EQ(drawn.at(100, 100), BODY);

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

TEST_F(WorldDraw, TheDarknessHasFourLooksAndTwoStrengths) {
    // Column 0 of the plain picture red, of the flickering one green.
    SheetSwap swap(&darkness_texture, picture(140, 235, CLEAR, {{35, RED}, {135, GREEN}}));
    // The picture's marked column lands at 30 plain, at 169 mirrored.
    struct Case {
        int flicker;
        bool dark_level, green;
        int x, alpha;
    } const cases[] = {{0, false, false, 169, 90}, {1, false, false, 30, 90}, {2, false, true, 169, 90},
                       {3, true, true, 30, 220}};
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(200, 200);
        player.x = 100.4f;  // the picture's left edge at 100.4 - 70, rounded
        player.y = 100.0f;
        level_state.flicker = c.flicker;
        level_state.flashlight = c.dark_level;
        draw_world();
        const Picture drawn = read_target(target);
        EXPECT_NEAR(c.green ? drawn.at(c.x, 120).g : drawn.at(c.x, 120).r, c.alpha, 1) << c.flicker;
        EXPECT_EQ(drawn.at(c.x == 30 ? 169 : 30, 120), BLACK) << c.flicker;
    }
    Uint8 alpha = 0;
    SDL_GetTextureAlphaMod(effects_texture, &alpha);
    EXPECT_EQ(alpha, 255);  // the effects keep their own alpha
}

TEST_F(WorldDraw, TheBossRisesFrom127To92AndStaysAndIsGoneWhenTheSequenceIsNotRunning) {
    const std::pair<float, int> rises[] = {{12.0f, 127}, {2.6f, 93}, {2.5f, 92}, {0.5f, 92}};
    for (const auto &[seconds_left, y] : rises) EXPECT_EQ(boss_drawn_y(seconds_left), y) << seconds_left;

    // The fixture boss is red from its third row, fifth column.
    SDL_Texture *target = level_target(200, 200);
    boss.timer = 12.0f;
    draw_world();
    const Picture risen = read_target(target);
    EXPECT_EQ(risen.at(83, 129), RED);
    EXPECT_EQ(risen.at(83, 128), BLACK);
    clear_target(target);
    boss.timer = 0.0f;
    player.state = PLAYER_DEAD;  // nothing of the player either
    draw_world();
    EXPECT_EQ(read_target(target).lit(), 0);
}

TEST_F(WorldDraw, ShotsGrowOutOfTheGunSidewaysStandUpAndDownAndOtherShotsDrawNothing) {
    // The whole picture: a run of yellow head and white tail from (x, y),
    // rightward or downward.
    struct Case {
        int32_t kind, direction;
        float player_x, shot_x;
        int x, y;
        bool downward;
        const char *run;
    } const cases[] = {
        {PROJECTILE_SHOT, DIR_RIGHT, 25.0f, 27.0f, 26, 5, false, ""},  // 2 pixels out: nothing yet
        {PROJECTILE_SHOT, DIR_RIGHT, 25.0f, 28.0f, 26, 5, false, "W"},  // 3 out: the head before the gun
        {PROJECTILE_SHOT, DIR_RIGHT, 25.0f, 29.0f, 26, 5, false, "YWWW"},
        {PROJECTILE_SHOT, DIR_LEFT, 33.0f, 31.0f, 30, 5, false, "WW"},  // the left rule: 2 pixels from 30
        {PROJECTILE_SHOT, DIR_LEFT, 33.0f, 29.0f, 30, 5, false, "WWWY"},
        {PROJECTILE_SHOT, DIR_UP, 25.0f, 10.0f, 10, 4, true, "YWWW"},
        // Turned a quarter clockwise about its middle: the head leads in column x + 1.
        {PROJECTILE_SHOT, DIR_DOWN, 25.0f, 10.0f, 11, 7, true, "YWWW"},
        {PROJECTILE_SHOT, DIR_UP_RIGHT, 25.0f, 10.0f, 0, 0, false, ""},
        {PROJECTILE_DEBRIS, DIR_RIGHT, 25.0f, 29.0f, 0, 0, false, ""},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        player.x = c.player_x;
        draw_shot(shot_at(c.shot_x, 5.0f, c.kind, c.direction));
        const Picture drawn = read_target(target);
        SCOPED_TRACE(testing::Message() << "direction " << c.direction << " at " << c.shot_x);
        const int length = static_cast<int>(std::strlen(c.run));
        for (int i = 0; i < length; ++i) {
            const Rgba got = c.downward ? drawn.at(c.x, c.y + i) : drawn.at(c.x + i, c.y);
            EXPECT_EQ(got, c.run[i] == 'Y' ? YELLOW : WHITE) << "pixel " << i;
        }
        EXPECT_EQ(drawn.lit(), length);
    }
}

TEST_F(WorldDraw, EnemiesFaceTheirWayTurnBlinkBlackEveryFiftiethOfASecondAndUnknownKindsDrawNothing) {
    // Column 0 of each picture marked: the small one green, the large one
    // blue walking and cyan turning.
    SheetSwap swap(&enemies_texture, picture(133, 30, CLEAR, {{0, GREEN}, {6, BLUE}, {18, CYAN}}));
    SheetSwap blink(&enemies_blink_texture, picture(133, 30, CLEAR, {{0, GREEN}, {6, BLUE}, {18, CYAN}}));
    sprite_sheets_make_silhouette(enemies_blink_texture);
    struct Case {
        int32_t kind, state, facing;
        float hurt_timer;
        Rgba mark;  // in the left column facing left, the right one facing right
    } const cases[] = {
        {ENEMY_SMALL, 0, DIR_LEFT, 0.0f, GREEN},    {ENEMY_SMALL, 0, DIR_RIGHT, 0.0f, GREEN},
        {ENEMY_LARGE, 0, DIR_LEFT, 0.0f, BLUE},     {ENEMY_LARGE, 3, DIR_RIGHT, 0.0f, CYAN},
        {ENEMY_SMALL, 0, DIR_LEFT, 0.4f, GREEN},    {ENEMY_SMALL, 0, DIR_LEFT, 0.35f, BLACK},
        {ENEMY_LARGE, 0, DIR_RIGHT, 0.37f, BLACK},  {ENEMY_SMALL, 0, DIR_LEFT, 0.3f, GREEN},
        {2, 0, DIR_LEFT, 0.0f, WHITE},              {-1, 0, DIR_LEFT, 0.0f, WHITE},  {1000, 0, DIR_LEFT, 0.0f, WHITE},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36, WHITE);
        const int size = c.kind == ENEMY_SMALL ? 7 : 12;
        draw_enemy({.x = 10.0f, .y = 10.0f, .width = size, .height = size, .hurt_timer = c.hurt_timer,
                    .kind = c.kind, .state = c.state, .facing = c.facing});
        const Picture drawn = read_target(target);
        SCOPED_TRACE(testing::Message() << c.kind << ", " << c.facing << ", hurt " << c.hurt_timer);
        EXPECT_EQ(drawn.at(c.facing == DIR_LEFT ? 10 : 9 + size, 12), c.mark);
        EXPECT_EQ(drawn.lit(WHITE), c.mark == WHITE ? 0 : size);  // the clear rest of the picture stays clear
    }
}

TEST_F(WorldDraw, EffectsShowTheirPictureOrTwoFadingPixelsAndUnknownTypesDrawNothing) {
    struct Case {
        int32_t type;
        bool flip;
        float age;
        std::vector<std::pair<int, int>> lit;
        Rgba colour;
    } const cases[] = {
        {10, false, 0.0f, {{20, 20}, {21, 20}, {22, 20}}, YELLOW},  // muzzle flash
        {10, true, 0.0f, {{18, 20}, {19, 20}, {20, 20}}, YELLOW},
        {5, false, 0.0f, {{20, 20}, {20, 19}}, {255, 100, 255, 255}},  // stomp trail
        {6, false, 0.1f, {{20, 20}, {19, 20}}, {128, 50, 128, 255}},   // dash dust, half its 0.2 s gone
        {2, false, 0.0f, {}, BLACK}, {11, false, 0.0f, {}, BLACK}, {-1, false, 0.0f, {}, BLACK},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        spawn_effect(c.type, 20.0f, 20.0f, c.flip, 0.0f, 0.0f);
        effects[0].age = c.age;
        if (c.lit.empty()) effects[0].width = effects[0].height = 7;  // unknown types get a size too
        draw_effect(effects[0]);
        const Picture drawn = read_target(target);
        EXPECT_EQ(drawn.lit(), static_cast<int>(c.lit.size())) << c.type;
        for (const auto &[x, y] : c.lit) EXPECT_TRUE(near(drawn.at(x, y), c.colour)) << c.type << " " << x;
    }
}

TEST_F(WorldDraw, ThePlayersPixelsShowStateAimShotsHurtLandingsAndTheStompWindUp) {
    // Rows 8..10, columns 9..11 around the player at (10, 10); nothing else
    // is lit.
    // Heads blinking after a landing: '1', '2', '3' at alpha 185, 147, 89.
    const std::map<char, Rgba> colours = {
        {'P', BODY},         {'S', {229, 100, 255, 255}}, {'H', {229, 255, 255, 255}},
        {'B', {50, 74, 244, 255}},  {'g', {125, 125, 125, 255}}, {'G', {200, 200, 200, 255}},
        {'W', WHITE},               {'1', {166, 0, 185, 255}},   {'2', {132, 0, 147, 255}},
        {'3', {80, 0, 89, 255}},
    };
    struct Case {
        int32_t state = PLAYER_STANDING, facing = DIR_RIGHT;
        float shoot = 0.0f, hurt = 0.0f, landing = 0.0f, stomp = 0.0f;
        bool up = false, down = false;
        const char *rows[3];
    } const cases[] = {
        {.rows = {"...", ".Pg", ".P."}},
        {.facing = DIR_LEFT, .rows = {"...", "gP.", ".P."}},
        {.state = PLAYER_AIRBORNE, .facing = DIR_LEFT, .up = true, .rows = {".g.", ".P.", ".P."}},
        {.state = PLAYER_AIRBORNE, .down = true, .rows = {"...", ".P.", ".g."}},
        {.state = PLAYER_CROUCHING, .facing = DIR_LEFT, .down = true, .rows = {"...", "...", "gP."}},
        {.state = PLAYER_DASHING, .facing = DIR_LEFT, .rows = {"...", "...", "PP."}},
        {.state = PLAYER_DEAD, .rows = {"...", "B..", "..."}},  // the live piece of debris alone
        {.shoot = 0.15f, .hurt = 0.5f, .rows = {"...", ".SG", ".S."}},  // a fresh shot wins over hurt
        {.shoot = 0.1f, .hurt = 0.5f, .rows = {"...", ".Hg", ".H."}},
        {.hurt = 0.05f, .rows = {"...", ".Pg", ".P."}},
        {.hurt = 0.85f, .rows = {"...", ".Pg", ".P."}},
        {.landing = 0.05f, .rows = {"...", ".1g", ".P."}},
        {.landing = 0.2f, .rows = {"...", ".3g", ".P."}},
        {.landing = 0.3f, .rows = {"...", ".2g", ".P."}},
        {.landing = 0.0833333f, .rows = {"...", ".Pg", ".P."}},  // on a bound the body colour stays
        {.landing = 0.34f, .rows = {"...", ".Pg", ".P."}},
        {.state = PLAYER_STOMPING, .stomp = 0.1f, .rows = {"...", ".P.", ".P."}},
        {.state = PLAYER_STOMPING, .stomp = 0.25f, .rows = {".W.", "WWW", ".W."}},
        {.state = PLAYER_STOMPING, .stomp = 0.4f, .rows = {"...", ".P.", ".P."}},
    };
    for (const Case &c : cases) {
        SDL_Texture *target = level_target(64, 36);
        player = {.x = 10.0f, .y = 10.0f, .state = c.state, .facing = c.facing, .shoot_cooldown = c.shoot,
                  .hurt_timer = c.hurt, .landing_timer = c.landing, .stomp_timer = c.stomp};
        player.debris[0] = shot_at(9.4f, 8.6f, PROJECTILE_DEBRIS, DIR_UP);
        player.debris[3].x = 11.0f;  // ended
        controls = {.up = c.up, .down = c.down};
        draw_player();
        const Picture drawn = read_target(target);
        SCOPED_TRACE(std::string(c.rows[0]) + "|" + c.rows[1] + "|" + c.rows[2]);
        int lit = 0;
        for (int i = 0; i < 9; ++i) {
            const char want = c.rows[i / 3][i % 3];
            const Rgba got = drawn.at(9 + i % 3, 8 + i / 3);
            lit += want != '.';
            if (want == '.') EXPECT_EQ(got, BLACK) << "cell " << i;
            else EXPECT_TRUE(near(got, colours.at(want))) << "cell " << i << ": " << got;
        }
        EXPECT_EQ(drawn.lit(), lit);
    }
    controls = {};
}
