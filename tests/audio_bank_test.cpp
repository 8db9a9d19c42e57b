// The sound bank and its operations on a real mixer. The device is paused
// in most tests, which keeps the ring full so that nothing advances or ends
// while a test looks; the mixing thread runs throughout.
#include "audio/audio.h"

#include "app/app.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

// File i lasts 2 s plus i times 1000 frames, so each entry can be told apart.
int bank_file_frames(int i) { return 2 * MIXER_FRAMES_PER_SECOND + 1000 * i; }

// Copies of the playing records, newest first; `record` keeps their address.
struct Instance {
    PlayingSound *record;
    PlayingSound copy;
};
std::vector<Instance> playing_now() {
    std::vector<Instance> list;
    SDL_LockMutex(audio_mixer->mutex);
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next) list.push_back({p, *p});
    SDL_UnlockMutex(audio_mixer->mutex);
    return list;
}

bool still_playing(PlayingSound *record) {
    for (const Instance &i : playing_now())
        if (i.record == record) return i.copy.active != 0;
    return false;
}

const LoadedSound *music_of(MusicId id) { return &audio_music_entry(id)->sound; }

class Bank : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<ArchiveEntry> entries;
        for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
            std::vector<int16_t> samples(static_cast<size_t>(bank_file_frames(i)));
            for (size_t f = 0; f < samples.size(); ++f)
                samples[f] = static_cast<int16_t>(6000 * std::sin(f * 0.01 * (i + 1)));
            entries.push_back(
                {audio_bank_path(i), dataio_encode_ogg(samples.data(), bank_file_frames(i), 1, 44000, 0.0f)});
        }
        mount_test_archive(folder.file("bank.zip"), entries);
        ASSERT_EQ(audio_Init(), 1);
    }
    static void TearDownTestSuite() {
        audio_Shutdown();
        unmount_test_archives();
    }
    void SetUp() override {
        SDL_PauseAudio(1);
        mixer_stop_all(audio_mixer);
        current_music = 0;
        sound_enabled = true;
        settings.volume = 0.75f;
    }
    static inline TempDir folder;
};

// Replacing with the current music does nothing; music 0, or an id without a
// track, replacing silences everything and becomes the current music; a track
// laid over the music keeps that music current.
TEST_F(Bank, MusicReplacesOnlyWhenItChangesAndOverlaysKeepTheCurrentMusic) {
    audio_PlaySound(SOUND_JUMP);
    audio_PlayMusic(MUSIC_NONE, true);  // 0 is already current at start
    EXPECT_EQ(playing_now().size(), 1u);
    for (MusicId silent : {MusicId{MUSIC_NONE}, MusicId{7}}) {
        audio_PlayMusic(MUSIC_LEVEL0, true);
        const std::vector<Instance> first = playing_now();
        audio_PlayMusic(MUSIC_LEVEL0, true);
        audio_PlayMusic(MUSIC_LEVEL0, false);  // compared with the current music too
        ASSERT_EQ(playing_now().size(), 1u);  // what played before was stopped by the replace
        EXPECT_TRUE(still_playing(first[0].record));
        audio_PlaySound(SOUND_ELEVATOR_LOOP);
        audio_PlayMusic(silent, true);
        EXPECT_TRUE(playing_now().empty());
        EXPECT_EQ(current_music, silent);
    }
    audio_PlayMusic(MUSIC_LEVEL2, true);
    audio_PlayMusic(MUSIC_CUTSCENE1, false);
    audio_PlayMusic(MUSIC_CUTSCENE1, false);  // another copy: only the current music is compared
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_TRUE(now[1].copy.sound == music_of(MUSIC_CUTSCENE1) && now[2].copy.sound == music_of(MUSIC_LEVEL2));
    EXPECT_EQ(current_music, MUSIC_LEVEL2);
}

// Each file lands in its own entry (they are decoded on several threads).
// Each track's loop flag and its volume factor over the master volume (the
// product in double precision), replacing or laid over; SetVolume changes
// only the newest instance; unknown ids and disabled sound start nothing.
TEST_F(Bank, StartsLoopsAndVolumes) {
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i)
        EXPECT_NEAR(audio_bank[i].sound.sample_count, bank_file_frames(i), 100) << audio_bank_path(i);
    struct Track { MusicId id; int looped; double factor; };
    const Track tracks[] = {
        {MUSIC_LEVEL0, 1, 1.5}, {MUSIC_BOSS, 1, 0.45}, {MUSIC_CUTSCENE1, 0, 1.5}, {MUSIC_CUTSCENE5, 0, 2.5},
    };
    settings.volume = 0.4f;  // its product with 0.45 differs in single precision
    for (bool replace : {true, false}) {
        for (const Track &t : tracks) {
            mixer_stop_all(audio_mixer);
            current_music = MUSIC_NONE;
            audio_PlayMusic(t.id, replace);
            const std::vector<Instance> now = playing_now();
            ASSERT_EQ(now.size(), 1u);
            const PlayingSound &p = now[0].copy;
            const float volume = static_cast<float>(static_cast<double>(0.4f) * t.factor);
            EXPECT_TRUE(p.sound == music_of(t.id) && p.looped == t.looped && p.volume0 == volume &&
                        p.volume1 == volume) << "track " << t.id << (replace ? " replacing" : " laid over");
        }
    }
    audio_PlaySound(SOUND_CHECKPOINT);
    audio_SetVolume(0.9f);
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_TRUE(now[0].copy.volume0 == 0.9f && now[0].copy.volume1 == 0.9f && now[1].copy.volume0 != 0.9f);
    EXPECT_EQ(settings.volume, 0.9f);

    mixer_stop_all(audio_mixer);
    for (SoundId id : {-1, 3, 4, 5, 11, 14, 16, 21, 1000, INT32_MIN}) audio_PlaySound(id);
    for (MusicId id : {-1, 9, 1000}) audio_PlayMusic(id, false);
    sound_enabled = false;  // --nosound
    audio_PlaySound(SOUND_SHOOT);
    audio_PlayMusic(MUSIC_LEVEL0, true);
    EXPECT_TRUE(playing_now().empty());
    EXPECT_EQ(current_music, MUSIC_NONE);
}

TEST_F(Bank, StopLoopingEndsOnlyTheNewestLoopAndNeverTheOldest) {
    audio_PlayMusic(MUSIC_LEVEL0, true);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    audio_PlaySound(SOUND_SHOOT);  // newest, but not looped
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 4u);

    audio_StopLoopingSound();
    EXPECT_FALSE(still_playing(now[1].record));
    EXPECT_TRUE(still_playing(now[2].record));
    EXPECT_TRUE(still_playing(now[0].record));
    audio_StopLoopingSound();
    audio_StopLoopingSound();  // only the music is left looping, and it is the oldest
    EXPECT_FALSE(still_playing(now[2].record));
    EXPECT_TRUE(still_playing(now[3].record));
    EXPECT_EQ(playing_now().back().copy.looped, 1);
}

// The game thread plays, stops and changes volume while the mixing thread
// and the device callback run, for the ThreadSanitizer run to watch; then
// each of the eight records is in exactly one of the two lists.
TEST_F(Bank, GameThreadOperationsWhileTheDeviceRuns) {
    SDL_PauseAudio(0);
    std::mt19937 random(7);
    for (const Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 200;) {
        switch (random() % 6) {
            case 0: audio_PlaySound(static_cast<SoundId>(random() % 22)); break;
            case 1: audio_PlaySound(SOUND_ELEVATOR_LOOP); break;
            case 2: audio_PlayMusic(static_cast<MusicId>(random() % 9), random() % 2 == 0); break;
            case 3: audio_StopLoopingSound(); break;
            case 4: audio_SetVolume(static_cast<float>(random() % 100) / 100.0f); break;
            case 5: SDL_Delay(1); break;
        }
    }
    SDL_LockMutex(audio_mixer->mutex);
    std::set<PlayingSound *> seen;
    int records = 0, playing = 0, counted = 0;
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next, ++records, ++playing) seen.insert(p);
    for (PlayingSound *p = audio_mixer->free_list; p; p = p->next, ++records) seen.insert(p);
    for (const AudioBankEntry &entry : audio_bank) counted += entry.sound.playing_count;
    SDL_UnlockMutex(audio_mixer->mutex);
    EXPECT_EQ(records, 8);
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(counted, playing);
}

}  // namespace
