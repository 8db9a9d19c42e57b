// The game's fixed bank of 22 sounds and its sound operations. All of them
// are called from the game thread.
#pragma once

#include "audio/mixer.h"

#include <cstdint>

// Sound effects. Any other value has no sound and is ignored.
using SoundId = int32_t;
enum : SoundId {
    SOUND_LAND = 0,
    SOUND_SHOOT = 1,
    SOUND_EXPLOSION_LARGE = 2,
    SOUND_JUMP = 6,
    SOUND_DASH = 7,
    SOUND_CHECKPOINT = 8,
    SOUND_STOMP_CHARGE = 9,
    SOUND_STOMP_LAND = 10,
    SOUND_EXPLOSION_SMALL = 12,
    SOUND_ENEMY_HURT = 13,
    SOUND_SECRET_FOUND = 15,
    SOUND_PLAYER_HURT = 17,
    SOUND_PLAYER_DIE = 18,
    SOUND_ELEVATOR_LOOP = 19,  // looped; ended by audio_StopLoopingSound
    SOUND_BOSS_ROAR = 20,
};

// Music and cutscene tracks. 0 is silence; any other value without a track
// is ignored (but still becomes the current music when it replaces).
using MusicId = int32_t;
enum : MusicId {
    MUSIC_NONE = 0,
    MUSIC_LEVEL0 = 1,
    MUSIC_LEVEL1 = 2,
    MUSIC_LEVEL2 = 3,
    MUSIC_CUTSCENE1 = 4,
    MUSIC_CUTSCENE2 = 5,
    MUSIC_CUTSCENE5 = 6,
    MUSIC_BOSS = 8,
};

constexpr int AUDIO_BANK_SIZE = 22;

struct AudioBankEntry {
    const char *path;               // in the archive
    LoadedSound sound;
    SoundTemplate play_template;    // its sound is this entry's sound
};

// The bank in load order, the one mixer and the music last set by replace.
// Cleared by "--nosound": audio still starts, but nothing is ever played.
extern bool sound_enabled;

extern AudioBankEntry audio_bank[AUDIO_BANK_SIZE];
extern MixerContext *audio_mixer;
extern int32_t current_music;

// The archive path of the bank file at a load-order index (0 to 21).
const char *audio_bank_path(int index);

// The bank entry of an id, or null when the id has none.
AudioBankEntry *audio_sound_entry(SoundId id);
AudioBankEntry *audio_music_entry(MusicId id);

// Creates the mixer and its thread and loads the whole bank. 1 when audio is
// ready, 0 when no audio device could be opened. A bank file missing from
// the archive ends the program with status 1.
int32_t audio_Init();

// Loads all 22 files into the bank and resets the templates. Files are
// checked in load order first, so the first missing one is reported; the
// decoding is shared among worker threads.
void audio_LoadBank();

// Reads and decodes one file of the archive into the record. A missing file
// prints "audio_LoadSound > filename doesn't exist: <path>" on standard
// output and exits with status 1; a file that does not decode leaves the
// record all zero (it plays as silence).
LoadedSound *audio_LoadSound(LoadedSound *sound, const char *path);

// Starts a new instance of the effect at the master volume. Nothing when
// sound is disabled, the id has no sound or all mixer records are busy.
void audio_PlaySound(SoundId id);

// Switches the music. With replace, everything playing stops and the id
// becomes the current music; without, the track is laid over what plays.
// Nothing when the id is already the current music.
void audio_PlayMusic(MusicId id, bool replace);

// Ends the newest looping instance unless it is the oldest one playing.
void audio_StopLoopingSound();

// Sets settings.volume and applies it to the most recently started instance.
void audio_SetVolume(float volume);

// Stops the mixer and releases the bank.
void audio_Shutdown();
