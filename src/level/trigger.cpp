// The trigger commands: the level files' only scripting.
#include "level/level.h"

#include "audio/audio.h"
#include "common/controls.h"
#include "common/settings.h"
#include "level/cutscene.h"
#include "player/player.h"

// Rectangle ends are computed in 64 bits: they come from files.
static bool trigger_holds(const Trigger &trigger, int64_t px, int64_t py) {
    return px >= trigger.x && px <= int64_t{trigger.x} + trigger.w - 1 && py >= trigger.y &&
           py <= int64_t{trigger.y} + trigger.h - 1;
}

Trigger *trigger_at(int32_t px, int32_t py) {
    for (int32_t i = 0; i < trigger_count && i < TRIGGER_CAPACITY; ++i) {
        if (triggers[i].active && trigger_holds(triggers[i], px, py)) return &triggers[i];
    }
    return nullptr;
}

static void create_doodad(const Trigger &trigger) {
    Doodad *doodad = doodad_append();
    if (!doodad) return;
    doodad->active = true;
    doodad->type = -1;
    doodad->x = static_cast<float>(trigger.new_x);
    doodad->y = static_cast<float>(trigger.new_y);
    doodad->home_x = trigger.new_x;
    doodad->home_y = trigger.new_y;
    doodad->width = doodad->box_w = trigger.new_w;
    doodad->height = doodad->box_h = trigger.new_h;
    doodad->frames = 1;
}

void progress_start_new_game() {
    settings.buttstomp = false;
    settings.savecheckpoint = 1;
    settings.savelevel = 3;
}

void run_trigger(Trigger &trigger) {
    switch (trigger.command) {
    case TRIGGER_LEVEL:
        load_level(trigger.param_a, trigger.param_b, false);
        return;
    case TRIGGER_NEWGAME:
        progress_start_new_game();
        load_level(trigger.param_a, trigger.param_b, false);
        return;
    case TRIGGER_LOADGAME:
        if (settings.savelevel == -1) {
            cutscene_start(2);  // there is no saved game to continue
            return;
        }
        player.lives = 3;
        player.health = 5;
        load_level(settings.savelevel, settings.savecheckpoint, true);
        return;
    case TRIGGER_CUTSCENE:
        cutscene_start(trigger.param_a);
        return;
    case TRIGGER_QUIT:
        quit_requested = true;
        return;
    case TRIGGER_UNLOCKCAMERA:
        level_state.camera_locked = false;
        break;
    case TRIGGER_LOCKCAMERA:
        level_state.camera_locked = true;
        break;
    case TRIGGER_LOCKCAMERAX:
        level_state.camera_x_locked = true;
        break;
    case TRIGGER_MOVECAMERA:
        level_state.camera_locked = true;
        level_state.camera_target_x = static_cast<float>(trigger.param_a);
        level_state.camera_target_y = static_cast<float>(trigger.param_b);
        break;
    case TRIGGER_CREATEDOODAD:
        create_doodad(trigger);
        break;
    case TRIGGER_STARTBOSS:
        boss.timer = 12.0f;
        audio_PlayMusic(MUSIC_BOSS, true);
        break;
    default:
        return;
    }
    trigger.active = false;
}
