// Level loads on SDL's offscreen driver with the software renderer, from the
// fixture archive or from small archives made by the test.
#include "common/screen.h"
#include "common/settings.h"
#include "level/level.h"
#include "player/player.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <dlfcn.h>

#include <array>
#include <cstring>
#include <set>
#include <string>

// Every texture the game makes or destroys passes through these, so a test
// can count the live ones: a texture replaced but never destroyed stays.
static std::set<SDL_Texture *> live_textures;

template <typename Function>
static Function next_sdl(const char *name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

static SDL_Texture *track(SDL_Texture *texture) {
    if (texture) live_textures.insert(texture);
    return texture;
}

extern "C" SDL_Texture *SDL_CreateTexture(SDL_Renderer *target, Uint32 format, int access, int w, int h) {
    static const auto next = next_sdl<decltype(&SDL_CreateTexture)>("SDL_CreateTexture");
    return track(next(target, format, access, w, h));
}

extern "C" SDL_Texture *SDL_CreateTextureFromSurface(SDL_Renderer *target, SDL_Surface *surface) {
    static const auto next = next_sdl<decltype(&SDL_CreateTextureFromSurface)>("SDL_CreateTextureFromSurface");
    return track(next(target, surface));
}

extern "C" void SDL_DestroyTexture(SDL_Texture *texture) {
    static const auto next = next_sdl<decltype(&SDL_DestroyTexture)>("SDL_DestroyTexture");
    live_textures.erase(texture);
    next(texture);
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
    static void SetUpTestSuite() { start_test_video(); }
    static void TearDownTestSuite() { stop_test_video(); }
    void SetUp() override {
        settings_apply_defaults();
        mount_fixture_archive();
    }
    void TearDown() override { release_level_textures(); }
    void mount(const std::vector<ArchiveEntry> &entries) { mount_test_archive(folder.file("data.zip"), entries); }
    TempDir folder;
};

}  // namespace

TEST_F(LevelLoad, ResetsTheLevelAndThePlayerButKeepsWhatCarriesOver) {
    // Every byte of the player and the level state at one, except the handle.
    boss = {5.0f, 3, 0.2f, true};
    std::memset(static_cast<void *>(&level_state), 1, sizeof level_state);
    level_state.level_texture = nullptr;
    std::memset(static_cast<void *>(&player), 1, sizeof player);
    const Player before = player;
    const int32_t flicker = level_state.flicker;
    effects[0].active = true;
    // The level number is set before the file is read, so progress lights a
    // save point only in the level it was saved in (levels 3 and 4 have post 1).
    settings.savelevel = 3;
    settings.savecheckpoint = 1;

    ASSERT_TRUE(load_level(3, 0, false));
    EXPECT_TRUE(save_points[0].lit);
    const LevelState &l = level_state;
    EXPECT_EQ((std::array{boss.timer, l.camera_x, l.camera_target_y, l.fade_in_elapsed, l.fade_out_duration}),
              (std::array<float, 5>{}));
    EXPECT_FALSE(l.camera_locked || l.camera_x_locked || l.flashlight);
    EXPECT_EQ((std::array{l.view_width, FG.width, l.flicker}), (std::array{64, 64, flicker}));  // layers take the view's size first
    const Player &p = player;
    EXPECT_EQ((std::array{p.vy, p.death_timer, p.shots[0].lifetime, p.debris[DEBRIS_CAPACITY - 1].lifetime}),
              (std::array<float, 4>{}));
    EXPECT_EQ((std::array{p.hurt_timer, p.dash_timer}), (std::array{before.hurt_timer, before.dash_timer}));
    EXPECT_EQ((std::array{p.state, p.facing, p.dust_mark, p.ground_index, p.health, p.lives}),
              (std::array<int32_t, 6>{PLAYER_STANDING, DIR_RIGHT, before.dust_mark, before.ground_index,
                                      before.health, before.lives}));
    EXPECT_TRUE(p.jump_ready);
    EXPECT_TRUE(boss.roar_played && effects[0].active);  // once per run; running effects play out
    effects[0].active = false;
    EXPECT_STREQ(level_state.title, "Fixture Three");
    EXPECT_EQ(level_state.title_timer, 3.75f);

    load_level(4, 1, true);
    EXPECT_EQ((std::array{player.x, player.y}), (std::array{16.0f, 39.0f}));  // beside post 1
    settings.savelevel = 4;
    load_level(3, 0, false);
    EXPECT_FALSE(save_points[0].lit);

    level_state.title_timer = 1.0f;
    load_level(0, 0, false);
    EXPECT_EQ((std::array{p.health, p.lives, p.facing}), (std::array<int32_t, 3>{5, 3, DIR_LEFT}));
    EXPECT_EQ(level_state.title_timer, 1.0f);  // level 0 has no title
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
    EXPECT_TRUE(RearBG.present && BG.present && !FG.present && !FG.texture);
    EXPECT_EQ(size_of(RearBG.texture), (Size{96, 36}));
    EXPECT_EQ(size_of(level_state.level_texture), (Size{128, 36}));
}

// Level 1 draws into an 80 x 40 texture. A level without a size keeps that
// size; one whose texture cannot be made keeps the old texture itself, which
// the next frame still draws into. A layer picture that does not decode
// leaves its layer absent, and the rest still loads.
TEST_F(LevelLoad, TheLevelTextureAndLayersAreReplacedOnlyByOnesThatCouldBeMade) {
    mount({{"data/level1.txt", bytes("width:80\r\nheight:40\r\n")},
           {"img/level1.png", picture(80, 40)},
           {"data/level2.txt", bytes("title:No Size")},
           {"data/level3.txt", bytes("width:0")},
           {"data/level4.txt", bytes("height:-36")},
           {"data/level5.txt", bytes("width:100000")},
           {"data/level6.txt", bytes("width:80\nheight:48")},
           {"img/level6-rear.png", bytes("not a picture")},
           {"img/level6.png", picture(80, 48)},
           {"img/level6-fg.png", picture(64, 36)}});
    const struct {
        int32_t level;
        int32_t width_before;  // what level_width holds before the load
        bool made;
    } cases[] = {{2, 80, true}, {3, 80, false}, {4, 80, false}, {5, 80, false}, {2, 0, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.level);
        ASSERT_TRUE(load_level(1, 0, false));
        SDL_Texture *old = level_state.level_texture;
        const size_t alive = live_textures.size();
        level_state.level_width = c.width_before;
        EXPECT_EQ(load_level(c.level, 0, false), c.made);
        EXPECT_EQ(level_state.level_texture != old, c.made);
        EXPECT_EQ(size_of(level_state.level_texture), (Size{80, 40}));
        EXPECT_EQ(live_textures.size(), alive - 1);  // only the level picture went
    }
    load_level(1, 0, false);
    const size_t before = live_textures.size();
    EXPECT_FALSE(load_level(6, 0, false));
    EXPECT_TRUE(!RearBG.present && !RearBG.texture && BG.present && FG.present);
    EXPECT_EQ(size_of(level_state.level_texture), (Size{80, 48}));
    EXPECT_EQ(live_textures.size(), before + 1);  // the foreground came, nothing else
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
