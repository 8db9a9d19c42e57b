// Level loads on SDL's offscreen driver with the software renderer, from the
// fixture archive or from small archives made by the test.
#include "common/screen.h"
#include "common/settings.h"
#include "level/level.h"
#include "player/player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <dlfcn.h>
#include <physfs.h>

#include <set>
#include <string>

// Every texture the game makes or destroys passes through these wrappers,
// so a test can tell which textures are alive: a texture that is replaced
// but never destroyed stays in the set.
static std::set<SDL_Texture *> live_textures;

template <typename Function>
static Function real_sdl(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

extern "C" SDL_Texture *SDL_CreateTexture(SDL_Renderer *target, Uint32 format, int access, int w, int h) {
    static const auto real = real_sdl<SDL_Texture *(*)(SDL_Renderer *, Uint32, int, int, int)>("SDL_CreateTexture");
    SDL_Texture *texture = real(target, format, access, w, h);
    if (texture) live_textures.insert(texture);
    return texture;
}

extern "C" SDL_Texture *SDL_CreateTextureFromSurface(SDL_Renderer *target, SDL_Surface *surface) {
    static const auto real = real_sdl<SDL_Texture *(*)(SDL_Renderer *, SDL_Surface *)>("SDL_CreateTextureFromSurface");
    SDL_Texture *texture = real(target, surface);
    if (texture) live_textures.insert(texture);
    return texture;
}

extern "C" void SDL_DestroyTexture(SDL_Texture *texture) {
    static const auto real = real_sdl<void (*)(SDL_Texture *)>("SDL_DestroyTexture");
    live_textures.erase(texture);
    real(texture);
}

namespace {

struct Size {
    int w, h;
    bool operator==(const Size &) const = default;
};

Size size_of(SDL_Texture *texture) {
    Size size{-1, -1};
    SDL_QueryTexture(texture, nullptr, nullptr, &size.w, &size.h);
    return size;
}

std::vector<uint8_t> picture(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 200);
    return dataio_encode_png(pixels.data(), width, height);
}

std::vector<uint8_t> bytes(const std::string &text) { return {text.begin(), text.end()}; }

class LevelLoad : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // Software all the way down: no system GL libraries for the leak checker.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("level load test", 0, 0, 64, 36, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
        ASSERT_NE(renderer, nullptr) << SDL_GetError();
    }

    static void TearDownTestSuite() {
        unmount_test_archives();
        SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        renderer = nullptr;
        window = nullptr;
        SDL_Quit();
    }

    void SetUp() override {
        settings_apply_defaults();
        mount_fixture();
    }

    void TearDown() override {
        for (Layer *layer : {&RearBG, &BG, &FG}) {
            if (layer->texture) SDL_DestroyTexture(layer->texture);
            *layer = {};
        }
        if (level_state.level_texture) SDL_DestroyTexture(level_state.level_texture);
        level_state = {};
    }

    static void mount_fixture() {
        if (!PHYSFS_isInit()) {
            ASSERT_NE(PHYSFS_init(nullptr), 0);
        }
        unmount_test_archives();
        ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    }

    void mount(const std::vector<ArchiveEntry> &entries) { mount_test_archive(folder.file("data.zip"), entries); }

    TempDir folder;
};

}  // namespace

TEST_F(LevelLoad, FixtureLevelFillsTheTablesAsItsFileSays) {
    ASSERT_TRUE(load_level(3, 1, false));
    EXPECT_EQ(level_state.level, 3);
    EXPECT_STREQ(level_state.title, "Fixture Three");
    EXPECT_EQ(level_state.title_timer, 3.75f);
    EXPECT_EQ(player.x, 120.0f);
    EXPECT_EQ(player.y, 27.0f);
    EXPECT_EQ(level_state.fade_in_duration, 0.5f);  // entrance 0's fade counts for every arrival
    EXPECT_EQ(enemy_count, 4);
    EXPECT_EQ(enemies[2].kind, ENEMY_SMALL);
    EXPECT_EQ(save_point_count, 1);
    EXPECT_EQ(pickup_count, 1);
    EXPECT_EQ(trigger_count, 1);
    EXPECT_EQ(triggers[0].param_a, 4);
    ASSERT_GT(doodad_count, 2);  // the crate, the lift and the map's boxes
    EXPECT_EQ(doodads[0].type, 6);
    EXPECT_TRUE(doodads[1].elevator_armed);
    EXPECT_EQ(doodads[doodad_count - 1].type, -1);

    EXPECT_TRUE(RearBG.present);
    EXPECT_EQ(RearBG.width, 96);
    EXPECT_EQ(RearBG.scroll_speed, 2.0f);
    EXPECT_EQ(size_of(RearBG.texture), (Size{96, 36}));
    EXPECT_TRUE(BG.present);
    EXPECT_EQ(size_of(BG.texture), (Size{128, 36}));
    EXPECT_FALSE(FG.present);
    EXPECT_EQ(FG.texture, nullptr);
    EXPECT_EQ(size_of(level_state.level_texture), (Size{128, 36}));
    Uint32 format = 0;
    int access = 0;
    SDL_QueryTexture(level_state.level_texture, &format, &access, nullptr, nullptr);
    EXPECT_EQ(format, static_cast<Uint32>(SDL_PIXELFORMAT_RGBA8888));
    EXPECT_EQ(access, SDL_TEXTUREACCESS_TARGET);
}

TEST_F(LevelLoad, ResetsTheLevelAndThePlayerButKeepsWhatCarriesOver) {
    boss = {5.0f, 3, 0.2f, true};
    level_state.camera_x = level_state.camera_y = 7.0f;
    level_state.camera_target_x = level_state.camera_target_y = 7.0f;
    level_state.fade_in_elapsed = level_state.fade_out_duration = level_state.fade_out_elapsed = 1.0f;
    level_state.camera_locked = level_state.camera_x_locked = level_state.flashlight = true;
    level_state.view_width = level_state.view_height = 10;
    level_state.flicker = 2;
    player.vy = player.shoot_cooldown = player.jump_hold = player.landing_timer = 1.0f;
    player.stomp_timer = player.death_timer = player.walk_timer = 1.0f;
    player.state = PLAYER_DEAD;
    player.jump_ready = false;
    player.hurt_timer = 0.3f;
    player.dash_timer = 0.1f;
    player.dust_mark = 7;
    player.ground_index = 4;
    player.health = 1;
    player.lives = 1;
    for (Projectile &p : player.shots) p.lifetime = 1.0f;
    for (Projectile &p : player.debris) p.lifetime = 1.0f;
    effects[0].active = true;

    load_level(3, 0, false);
    EXPECT_EQ(boss.timer, 0.0f);
    EXPECT_TRUE(boss.roar_played);
    EXPECT_EQ(level_state.camera_x + level_state.camera_y + level_state.camera_target_x + level_state.camera_target_y, 0.0f);
    EXPECT_EQ(level_state.fade_in_elapsed + level_state.fade_out_duration + level_state.fade_out_elapsed, 0.0f);
    EXPECT_FALSE(level_state.camera_locked || level_state.camera_x_locked || level_state.flashlight);
    EXPECT_EQ(level_state.view_width, 64);
    EXPECT_EQ(level_state.view_height, 36);
    EXPECT_EQ(FG.width, 64);  // layers take the view's size before the file speaks
    EXPECT_EQ(level_state.flicker, 2);
    EXPECT_EQ(player.vy + player.shoot_cooldown + player.jump_hold + player.landing_timer, 0.0f);
    EXPECT_EQ(player.stomp_timer + player.death_timer + player.walk_timer, 0.0f);
    EXPECT_EQ(player.state, PLAYER_STANDING);
    EXPECT_TRUE(player.jump_ready);
    EXPECT_EQ(player.facing, DIR_RIGHT);
    EXPECT_EQ(player.hurt_timer, 0.3f);
    EXPECT_EQ(player.dash_timer, 0.1f);
    EXPECT_EQ(player.dust_mark, 7);
    EXPECT_EQ(player.ground_index, 4);
    EXPECT_EQ(player.health, 1);
    EXPECT_EQ(player.lives, 1);
    for (const Projectile &p : player.shots) EXPECT_EQ(p.lifetime, 0.0f);
    for (const Projectile &p : player.debris) EXPECT_EQ(p.lifetime, 0.0f);
    EXPECT_TRUE(effects[0].active);
    effects[0].active = false;

    load_level(0, 0, false);
    EXPECT_EQ(player.health, 5);
    EXPECT_EQ(player.lives, 3);
    EXPECT_EQ(player.facing, DIR_LEFT);
    EXPECT_EQ(level_state.title_timer, 3.75f);  // level 0 has no title: the timer is left as it was
}

TEST_F(LevelLoad, LoadingAgainReplacesEveryTextureWithoutLeaking) {
    // A freed handle may come back from the next creation, so the count of
    // live textures tells a leak, not the handles.
    load_level(4, 0, false);
    const size_t first = live_textures.size();
    ASSERT_TRUE(BG.texture && FG.texture && level_state.level_texture);

    ASSERT_TRUE(load_level(4, 0, false));
    EXPECT_EQ(live_textures.size(), first);
    EXPECT_TRUE(live_textures.count(BG.texture) && live_textures.count(FG.texture) &&
                live_textures.count(level_state.level_texture));

    // Level 3 has no foreground but a rear layer: level 4's foreground goes
    // and nothing takes its place.
    ASSERT_TRUE(load_level(3, 0, false));
    EXPECT_EQ(live_textures.size(), first);
    EXPECT_EQ(FG.texture, nullptr);
    EXPECT_TRUE(live_textures.count(RearBG.texture) && live_textures.count(BG.texture));
}

TEST_F(LevelLoad, ArrivalAtAnEntranceOrSavePoint) {
    struct Case {
        int32_t arrival;
        bool at_save_point;
        float x, y;
        bool lit;
    };
    const Case cases[] = {
        {0, false, 10, 39, false},
        {7, false, 32, 25, false},  // no such entrance
        {1, true, 16, 39, true},    // savepoint:1:14:36
        {2, true, 32, 25, false},
    };
    for (const Case &c : cases) {
        load_level(4, c.arrival, c.at_save_point);
        EXPECT_EQ(player.x, c.x) << c.arrival;
        EXPECT_EQ(player.y, c.y) << c.arrival;
        EXPECT_EQ(save_points[0].lit, c.lit) << c.arrival;
    }
}

TEST_F(LevelLoad, ProgressLightsTheSavePointOnlyInTheSavedLevel) {
    settings.savelevel = 3;
    settings.savecheckpoint = 1;
    load_level(4, 0, false);  // its save point has id 1 too
    EXPECT_FALSE(save_points[0].lit);
    load_level(3, 0, false);
    EXPECT_TRUE(save_points[0].lit);
}

TEST_F(LevelLoad, ALevelWithoutASizeKeepsThePreviousOne) {
    mount({{"data/level1.txt", bytes("width:80\r\nheight:40\r\n")},
           {"img/level1.png", picture(80, 40)},
           {"data/level2.txt", bytes("title:No Size")},
           {"img/level2.png", picture(64, 36)}});
    ASSERT_TRUE(load_level(1, 0, false));
    const size_t alive = live_textures.size();
    ASSERT_TRUE(load_level(2, 0, false));
    EXPECT_EQ(size_of(level_state.level_texture), (Size{80, 40}));
    EXPECT_EQ(live_textures.size(), alive);
}

TEST_F(LevelLoad, ALevelTextureThatCannotBeMadeLeavesTheOldOneInUse) {
    mount({{"data/level1.txt", bytes("width:80\nheight:40")},
           {"img/level1.png", picture(80, 40)},
           {"data/level2.txt", bytes("width:0")},
           {"data/level3.txt", bytes("height:-36")},
           {"data/level4.txt", bytes("title:Never Sized")}});
    struct Case {
        int32_t level;
        int32_t width_before;  // what level_width holds before the load
    };
    for (const Case c : {Case{2, 80}, Case{3, 80}, Case{4, 0}}) {
        ASSERT_TRUE(load_level(1, 0, false));
        SDL_Texture *old = level_state.level_texture;
        const size_t alive = live_textures.size();
        level_state.level_width = c.width_before;
        EXPECT_FALSE(load_level(c.level, 0, false)) << c.level;
        EXPECT_EQ(level_state.level_texture, old) << c.level;
        EXPECT_EQ(size_of(old), (Size{80, 40})) << c.level;
        EXPECT_EQ(live_textures.size(), alive - 1) << c.level;  // only the level picture went
    }
}

TEST_F(LevelLoad, ALayerPictureThatDoesNotDecodeIsAbsentAndTheRestStillLoads) {
    mount({{"data/level1.txt", bytes("width:96\nheight:40")},
           {"img/level1-rear.png", picture(64, 36)},
           {"img/level1.png", picture(96, 40)},
           {"img/level1-fg.png", picture(64, 36)},
           {"data/level2.txt", bytes("width:80\nheight:48")},
           {"img/level2-rear.png", bytes("not a picture")},
           {"img/level2.png", picture(80, 48)},
           {"img/level2-fg.png", picture(64, 36)}});
    ASSERT_TRUE(load_level(1, 0, false));
    const size_t before = live_textures.size();

    EXPECT_FALSE(load_level(2, 0, false));
    EXPECT_FALSE(RearBG.present);
    EXPECT_EQ(RearBG.texture, nullptr);
    EXPECT_TRUE(BG.present);
    EXPECT_EQ(size_of(BG.texture), (Size{80, 48}));
    EXPECT_TRUE(FG.present);
    EXPECT_EQ(size_of(level_state.level_texture), (Size{80, 48}));
    EXPECT_EQ(live_textures.size(), before - 1);  // the rear picture is gone
}

TEST_F(LevelLoad, AMissingLevelFileIsAnEmptyLevel) {
    load_level(3, 0, false);
    EXPECT_FALSE(load_level(99, 0, false));
    EXPECT_EQ(level_state.level, 99);
    EXPECT_EQ(doodad_count + enemy_count + trigger_count + save_point_count + pickup_count, 0);
    EXPECT_STREQ(level_state.title, "");
    EXPECT_EQ(player.x, 32.0f);
    EXPECT_FALSE(RearBG.present || BG.present || FG.present);
    EXPECT_EQ(size_of(level_state.level_texture), (Size{128, 36}));
}

TEST_F(LevelLoad, AFileIsReadToItsTwoHundredthLineAndTablesToTheirCapacity) {
    std::string notes_then_dark, fewer_notes_then_dark, many_doodads;
    for (int i = 0; i < 200; ++i) notes_then_dark += "# note\n";
    for (int i = 0; i < 199; ++i) fewer_notes_then_dark += "# note\r";
    for (int i = 0; i < 150; ++i) many_doodads += "doodad:0:" + std::to_string(i) + ":1\n";
    mount({{"data/level1.txt", bytes(notes_then_dark + "flashlight\n")},
           {"data/level2.txt", bytes(fewer_notes_then_dark + "flashlight\n")},
           {"data/level3.txt", bytes(many_doodads)}});
    level_state.level_width = 64;
    level_state.level_height = 36;
    load_level(1, 0, false);
    EXPECT_FALSE(level_state.flashlight);
    load_level(2, 0, false);
    EXPECT_TRUE(level_state.flashlight);
    load_level(3, 0, false);
    EXPECT_EQ(doodad_count, DOODAD_CAPACITY);
    EXPECT_EQ(doodads[DOODAD_CAPACITY - 1].x, 99.0f);
}
