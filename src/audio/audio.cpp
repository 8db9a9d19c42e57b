#include "audio/audio.h"

#include "common/log.h"
#include "common/settings.h"
#include "resources/archive.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

bool sound_enabled = true;
AudioBankEntry audio_bank[AUDIO_BANK_SIZE];
MixerContext *audio_mixer = nullptr;
int32_t current_music = 0;

static constexpr int32_t AUDIO_POOL_SIZE = 8;
static constexpr int32_t AUDIO_MIXER_SLEEP_MS = 8;
static constexpr int AUDIO_MAX_DECODERS = 4;

struct BankFile {
    const char *path;
    bool music;
    int32_t id;          // SoundId or MusicId
    int32_t looped;      // for music; effects loop only as SoundId 19
    double volume_factor;
};

// Load order.
static const BankFile BANK_FILES[AUDIO_BANK_SIZE] = {
    {"snd/shoot0.ogg", false, SOUND_SHOOT, 0, 1.0},
    {"snd/jump0.ogg", false, SOUND_JUMP, 0, 1.0},
    {"snd/dash0.ogg", false, SOUND_DASH, 0, 1.0},
    {"snd/land0.ogg", false, SOUND_LAND, 0, 1.0},
    {"snd/enemy_hurt.ogg", false, SOUND_ENEMY_HURT, 0, 1.0},
    {"snd/boss_roar.ogg", false, SOUND_BOSS_ROAR, 0, 1.0},
    {"snd/player_hurt.ogg", false, SOUND_PLAYER_HURT, 0, 1.0},
    {"snd/player_die.ogg", false, SOUND_PLAYER_DIE, 0, 1.0},
    {"snd/elevatorloop.ogg", false, SOUND_ELEVATOR_LOOP, 0, 1.0},
    {"snd/checkpoint.ogg", false, SOUND_CHECKPOINT, 0, 1.0},
    {"snd/explosion_large.ogg", false, SOUND_EXPLOSION_LARGE, 0, 1.0},
    {"snd/explosion_small.ogg", false, SOUND_EXPLOSION_SMALL, 0, 1.0},
    {"snd/secret_found.ogg", false, SOUND_SECRET_FOUND, 0, 1.0},
    {"snd/stomp_charge.ogg", false, SOUND_STOMP_CHARGE, 0, 1.0},
    {"snd/stomp_land.ogg", false, SOUND_STOMP_LAND, 0, 1.0},
    {"snd/music0.ogg", true, MUSIC_LEVEL0, 1, 1.5},
    {"snd/music1.ogg", true, MUSIC_LEVEL1, 1, 0.45},
    {"snd/music2.ogg", true, MUSIC_LEVEL2, 1, 0.45},
    {"snd/musicboss.ogg", true, MUSIC_BOSS, 1, 0.45},
    {"snd/cutscene1.ogg", true, MUSIC_CUTSCENE1, 0, 1.5},
    {"snd/cutscene2.ogg", true, MUSIC_CUTSCENE2, 0, 1.5},
    {"snd/cutscene5.ogg", true, MUSIC_CUTSCENE5, 0, 2.5},
};

static int bank_index(bool music, int32_t id) {
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
        if (BANK_FILES[i].music == music && BANK_FILES[i].id == id) return i;
    }
    return -1;
}

const char *audio_bank_path(int index) {
    return index >= 0 && index < AUDIO_BANK_SIZE ? BANK_FILES[index].path : nullptr;
}

AudioBankEntry *audio_sound_entry(SoundId id) {
    const int index = bank_index(false, id);
    return index >= 0 ? &audio_bank[index] : nullptr;
}

AudioBankEntry *audio_music_entry(MusicId id) {
    const int index = bank_index(true, id);
    return index >= 0 ? &audio_bank[index] : nullptr;
}

// A missing bank file is a broken installation: say which and stop.
[[noreturn]] static void fail_missing_file(const char *path) {
    std::printf("audio_LoadSound > filename doesn't exist: %s\n", path);
    std::fflush(stdout);
    std::exit(1);
}

// Reads a file known to exist and decodes it; a file that does not decode
// leaves the record all zero.
static void decode_archive_file(const char *path, LoadedSound *sound) {
    int32_t length = 0;
    uint8_t *bytes = archive_read_file(path, &length);
    sound_load_ogg_memory(bytes, length, sound);
    std::free(bytes);
}

LoadedSound *audio_LoadSound(LoadedSound *sound, const char *path) {
    if (!archive_exists(path)) fail_missing_file(path);
    decode_archive_file(path, sound);
    return sound;
}

// The files are read and decoded by the game thread and helper threads
// together, each taking the next file of the schedule: the long music and
// cutscene tracks first, so that the short effects even out the end.
struct BankLoad {
    int8_t schedule[AUDIO_BANK_SIZE];
    std::atomic<int32_t> next;
};

static int load_scheduled_files(void *argument) {
    BankLoad *load = static_cast<BankLoad *>(argument);
    for (;;) {
        const int32_t taken = load->next.fetch_add(1, std::memory_order_relaxed);
        if (taken >= AUDIO_BANK_SIZE) return 0;
        AudioBankEntry &entry = audio_bank[load->schedule[taken]];
        decode_archive_file(entry.path, &entry.sound);
    }
}

void audio_LoadBank() {
    // Every file is checked before any is read, so the first missing one in
    // load order is the one reported and nothing is left half done.
    for (const BankFile &file : BANK_FILES) {
        if (!archive_exists(file.path)) fail_missing_file(file.path);
    }

    BankLoad load;
    int scheduled = 0;
    for (bool music : {true, false}) {
        for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
            if (BANK_FILES[i].music == music) load.schedule[scheduled++] = static_cast<int8_t>(i);
        }
    }
    load.next.store(0);
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
        sound_free(&audio_bank[i].sound);
        audio_bank[i].path = BANK_FILES[i].path;
    }

    SDL_Thread *helpers[AUDIO_MAX_DECODERS] = {};
    const int helper_count = std::clamp(SDL_GetCPUCount() - 1, 0, AUDIO_MAX_DECODERS);
    for (int i = 0; i < helper_count; ++i) helpers[i] = SDL_CreateThread(load_scheduled_files, "SoundDecoder", &load);
    load_scheduled_files(&load);  // whatever no helper takes is done here
    for (SDL_Thread *helper : helpers) {
        if (helper) SDL_WaitThread(helper, nullptr);
    }

    for (AudioBankEntry &entry : audio_bank) {
        entry.play_template = SoundTemplate{0, 1.0f, 1.0f, 0.5f, &entry.sound};
    }
}

int32_t audio_Init() {
    current_music = 0;
    audio_mixer = mixer_create(AUDIO_POOL_SIZE);
    if (!audio_mixer) {
        app_log("audio_Init > cannot open the audio device: %s", SDL_GetError());
        std::fprintf(stderr,
                     "numbral: cannot open the audio device (%s). Without a sound card, run the game with "
                     "SDL_AUDIODRIVER=dummy to play it silently.\n",
                     SDL_GetError());
        return 0;
    }
    mixer_spawn_thread(audio_mixer);
    mixer_set_sleep(audio_mixer, AUDIO_MIXER_SLEEP_MS);
    audio_LoadBank();
    return 1;
}

void audio_PlaySound(SoundId id) {
    if (!sound_enabled) return;
    AudioBankEntry *entry = audio_sound_entry(id);
    if (!entry) return;
    entry->play_template.volume_left = settings.volume;
    entry->play_template.volume_right = settings.volume;
    if (id == SOUND_ELEVATOR_LOOP) entry->play_template.looped = 1;
    mixer_play(audio_mixer, entry->play_template);
}

void audio_PlayMusic(MusicId id, bool replace) {
    if (!sound_enabled || id == current_music) return;
    if (replace) mixer_stop_all(audio_mixer);
    const int index = bank_index(true, id);
    if (index >= 0) {
        SoundTemplate &play_template = audio_bank[index].play_template;
        const float volume = static_cast<float>(static_cast<double>(settings.volume) * BANK_FILES[index].volume_factor);
        play_template.looped = BANK_FILES[index].looped;
        play_template.volume_left = volume;
        play_template.volume_right = volume;
        mixer_play(audio_mixer, play_template);
    }
    if (replace) current_music = id;
}

void audio_StopLoopingSound() {
    if (!audio_mixer) return;
    SDL_LockMutex(audio_mixer->mutex);
    for (PlayingSound *instance = audio_mixer->playing; instance; instance = instance->next) {
        if (instance->looped) {
            // The oldest instance, normally the level music, keeps playing.
            if (instance->next) {
                instance->looped = 0;
                instance->active = 0;
            }
            break;
        }
    }
    SDL_UnlockMutex(audio_mixer->mutex);
}

void audio_SetVolume(float volume) {
    settings.volume = volume;
    if (!audio_mixer) return;
    SDL_LockMutex(audio_mixer->mutex);
    if (PlayingSound *newest = audio_mixer->playing) {
        const float instance_volume = volume > 0.0f ? volume : 0.0f;
        newest->volume0 = instance_volume;
        newest->volume1 = instance_volume;
    }
    SDL_UnlockMutex(audio_mixer->mutex);
}

void audio_Shutdown() {
    mixer_shutdown(audio_mixer);
    audio_mixer = nullptr;
    for (AudioBankEntry &entry : audio_bank) {
        sound_free(&entry.sound);
        entry.play_template.sound = &entry.sound;
    }
}
