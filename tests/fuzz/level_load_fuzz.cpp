// Any bytes as a level file, loaded whole by load_level from an archive
// built in memory around it with the fixture's pictures, then played for a few
// frames, the first and last drawn: no crash, hang, leak or undefined behaviour, the
// tables within their capacities and the level texture within its bound.
// Triggers may start cutscenes or other levels, which are missing here.
#include "audio/audio.h"
#include "common/controls.h"
#include "common/numeric.h"
#include "common/screen.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "level/level.h"
#include "player/camera.h"
#include "player/player.h"
#include "render/hud.h"
#include "render/world_render.h"
#include "resources/archive.h"
#include "resources/sprite_sheets.h"
#include "resources/texture.h"
#include "world/world_update.h"

#include "fuzz_zip.h"

#include <SDL.h>
#include <physfs.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The pictures of fixture levels 3 and 4 and the sprite sheets, checked in
// beside this file.
const char *const PICTURES[] = {"level3.png", "level3-rear.png", "level4.png", "level4-fg.png", "doodads.png",
                                "enemies.png", "effects.png", "pickups.png", "projectiles.png", "boss.png",
                                "ui.png", "tinyfont.png"};
std::vector<std::vector<uint8_t>> picture_bytes;
std::vector<uint8_t> picture_zip;

void clear_target(SDL_Texture *target) {
    SDL_SetRenderTarget(renderer, target);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // A software renderer on a plain surface: no window, no video driver.
    SDL_Surface *screen = SDL_CreateRGBSurfaceWithFormat(0, 64, 36, 32, SDL_PIXELFORMAT_RGBA8888);
    renderer = screen ? SDL_CreateSoftwareRenderer(screen) : nullptr;
    canvas = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGBA8888, SDL_TEXTUREACCESS_TARGET, 64, 36)
                      : nullptr;
    if (!canvas) std::abort();

    std::vector<FuzzMember> members;
    picture_bytes.reserve(std::size(PICTURES));
    for (const char *name : PICTURES) {
        std::ifstream in(std::string(NUMBRAL_FUZZ_PICTURES) + "/img/" + name, std::ios::binary);
        picture_bytes.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (picture_bytes.back().empty()) std::abort();
        members.push_back({std::string("img/") + name, picture_bytes.back().data(), picture_bytes.back().size()});
    }
    picture_zip = fuzz_stored_zip(members);
    archive_init(nullptr);
    if (!fuzz_mount(picture_zip.data(), picture_zip.size(), "pictures.zip")) std::abort();
    sprite_sheets_load();

    // Nothing plays, and a lit save point writes to memory-backed storage.
    sound_enabled = false;
    const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(app_save_path, sizeof app_save_path, "%s/numbral-fuzz-%d.save", folder, static_cast<int>(getpid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1u << 20) return 0;
    // The level number and the arrival come from the size, the rest is the file.
    const int32_t level = size % 2 == 0 ? 3 : 4;
    const int32_t arrival = static_cast<int32_t>(size / 2 % 3);
    const bool at_save_point = size / 6 % 2 == 1;
    char path[32];
    std::snprintf(path, sizeof path, "data/level%d.txt", static_cast<int>(level));
    const std::vector<uint8_t> zip = fuzz_stored_zip({{path, data, size}});
    if (!fuzz_mount(zip.data(), zip.size(), "level.zip")) std::abort();

    settings_apply_defaults();
    controls = {};
    quit_requested = false;
    load_level(level, arrival, at_save_point);
    if (doodad_count > DOODAD_CAPACITY || enemy_count > ENEMY_CAPACITY || trigger_count > TRIGGER_CAPACITY ||
        save_point_count > SAVEPOINT_CAPACITY || pickup_count > PICKUP_CAPACITY) {
        std::abort();
    }
    int texture_width = 0, texture_height = 0;
    if (level_state.level_texture) {
        SDL_QueryTexture(level_state.level_texture, nullptr, nullptr, &texture_width, &texture_height);
        if (!texture_size_allowed(texture_width, texture_height)) std::abort();
    }

    // A few frames of play with the keys changing; the first and the last
    // (shots in flight) drawn as the game draws. Drawing is most of a run's
    // time, and the frames between add little.
    constexpr int FRAMES = 6;
    for (int frame = 0; frame < FRAMES && !quit_requested; ++frame) {
        controls.right = frame % 3 != 0;
        controls.jump = frame % 2 == 0;
        controls.shoot = frame >= 3;
        if (cutscene_active) cutscene_end();  // its target may load a level
        update_world(0.016f);
        if (boss.timer == 0.0f) update_player(0.016f);
        update_camera(0.016f);
        if (level_state.level_texture && (frame == 0 || frame == FRAMES - 1)) {
            clear_target(level_state.level_texture);
            draw_world();
            clear_target(canvas);
            const SDL_Rect view = {num_round(level_state.camera_x), num_round(level_state.camera_y), 64, 36};
            SDL_RenderCopy(renderer, level_state.level_texture, &view, nullptr);
            hud_draw();
        }
    }
    if (cutscene_active) cutscene_end();
    if (!PHYSFS_unmount("level.zip")) std::abort();
    return 0;
}
