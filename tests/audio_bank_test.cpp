// The sound bank and its operations on a real mixer. The device is paused
// in most tests, which keeps the ring full so that nothing advances or ends
// while a test looks; the mixing thread runs throughout.
#include "audio/audio.h"

#include "app/app.h"
#include "app/settings.h"
#include "support/test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

namespace {

// Without a sound card SDL must not fall back to ALSA; a driver chosen by
// the caller is kept.
const bool audio_driver_chosen = setenv("SDL_AUDIODRIVER", "dummy", 0) == 0;

// File i lasts 2 s plus i times 1000 frames, so each entry can be told apart.
int bank_file_frames(int i) {
    return 2 * MIXER_FRAMES_PER_SECOND + 1000 * i;
}

std::vector<ArchiveEntry> bank_entries() {
    std::vector<ArchiveEntry> entries;
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
        const int frames = bank_file_frames(i);
        std::vector<int16_t> samples(static_cast<size_t>(frames));
        for (int f = 0; f < frames; ++f) samples[f] = static_cast<int16_t>(6000 * std::sin(f * 0.01 * (i + 1)));
        entries.push_back({audio_bank_path(i), dataio_encode_ogg(samples.data(), frames, 1, 44000, 0.0f)});
    }
    return entries;
}

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

const LoadedSound *sound_of(SoundId id) {
    return &audio_sound_entry(id)->sound;
}

const LoadedSound *music_of(MusicId id) {
    return &audio_music_entry(id)->sound;
}

class Bank : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempDir();
        mount_test_archive(folder->file("bank.zip"), bank_entries());
        ASSERT_EQ(audio_Init(), 1);
    }
    static void TearDownTestSuite() {
        audio_Shutdown();
        EXPECT_EQ(audio_mixer, nullptr);
        unmount_test_archives();
        delete folder;
    }
    void SetUp() override {
        SDL_PauseAudio(1);
        mixer_stop_all(audio_mixer);
        current_music = 0;
        sound_enabled = true;
        settings.volume = 0.75f;
    }
    static TempDir *folder;
};
TempDir *Bank::folder = nullptr;

TEST_F(Bank, EveryFileLandsInItsEntryWithACentredTemplate) {
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
        const AudioBankEntry &entry = audio_bank[i];
        EXPECT_STREQ(entry.path, audio_bank_path(i));
        EXPECT_EQ(entry.sound.channel_count, 1);
        EXPECT_NEAR(entry.sound.sample_count, bank_file_frames(i), 100) << audio_bank_path(i);
        EXPECT_EQ(entry.play_template.looped, 0);
        EXPECT_EQ(entry.play_template.volume_left, 1.0f);
        EXPECT_EQ(entry.play_template.volume_right, 1.0f);
        EXPECT_EQ(entry.play_template.pan, 0.5f);
        EXPECT_EQ(entry.play_template.sound, &entry.sound);
    }
    EXPECT_STREQ(audio_sound_entry(SOUND_LAND)->path, "snd/land0.ogg");
    EXPECT_STREQ(audio_sound_entry(SOUND_BOSS_ROAR)->path, "snd/boss_roar.ogg");
    EXPECT_STREQ(audio_music_entry(MUSIC_BOSS)->path, "snd/musicboss.ogg");
    EXPECT_STREQ(audio_music_entry(MUSIC_CUTSCENE5)->path, "snd/cutscene5.ogg");
}

TEST_F(Bank, StartsUseTheMasterVolumeWithEachTracksFactorAndLoop) {
    struct Case {
        bool music;
        int32_t id;
        double factor;
        int32_t looped;
    };
    const Case cases[] = {
        {false, SOUND_SHOOT, 1.0, 0},     {false, SOUND_ELEVATOR_LOOP, 1.0, 1},
        {true, MUSIC_LEVEL0, 1.5, 1},     {true, MUSIC_LEVEL1, 0.45, 1},
        {true, MUSIC_LEVEL2, 0.45, 1},    {true, MUSIC_BOSS, 0.45, 1},
        {true, MUSIC_CUTSCENE1, 1.5, 0},  {true, MUSIC_CUTSCENE2, 1.5, 0},
        {true, MUSIC_CUTSCENE5, 2.5, 0},
    };
    settings.volume = 0.3f;
    for (const Case &c : cases) {
        mixer_stop_all(audio_mixer);
        if (c.music) {
            audio_PlayMusic(c.id, false);
        } else {
            audio_PlaySound(c.id);
        }
        const std::vector<Instance> now = playing_now();
        ASSERT_EQ(now.size(), 1u) << c.id;
        const float volume = static_cast<float>(0.3f * c.factor);
        EXPECT_EQ(now[0].copy.volume0, volume) << c.id;
        EXPECT_EQ(now[0].copy.volume1, volume) << c.id;
        EXPECT_EQ(now[0].copy.pan0, 0.5f);
        EXPECT_EQ(now[0].copy.pan1, 0.5f);
        EXPECT_EQ(now[0].copy.looped, c.looped) << c.id;
        EXPECT_EQ(now[0].copy.sound, c.music ? music_of(c.id) : sound_of(c.id));
    }
    EXPECT_EQ(current_music, 0);  // none of these replaced
}

TEST_F(Bank, ReplacingWithTheCurrentMusicDoesNothing) {
    audio_PlayMusic(MUSIC_LEVEL0, true);
    const std::vector<Instance> first = playing_now();
    ASSERT_EQ(first.size(), 1u);
    audio_PlayMusic(MUSIC_LEVEL0, true);
    audio_PlayMusic(MUSIC_LEVEL0, false);  // compared with the current music too
    const std::vector<Instance> second = playing_now();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].record, first[0].record);
    EXPECT_EQ(second[0].copy.active, 1);
    EXPECT_EQ(current_music, MUSIC_LEVEL0);
}

TEST_F(Bank, MusicZeroReplacingSilencesEverythingAndBecomesCurrent) {
    // At start 0 is already the current music: nothing happens.
    audio_PlaySound(SOUND_JUMP);
    audio_PlayMusic(MUSIC_NONE, true);
    EXPECT_EQ(playing_now().size(), 1u);

    audio_PlayMusic(MUSIC_LEVEL0, true);
    audio_PlaySound(SOUND_SHOOT);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    ASSERT_EQ(playing_now().size(), 3u);  // the jump was stopped by the replace
    audio_PlayMusic(MUSIC_NONE, true);
    EXPECT_TRUE(playing_now().empty());
    EXPECT_EQ(current_music, MUSIC_NONE);

    audio_PlayMusic(MUSIC_LEVEL0, true);
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].copy.sound, music_of(MUSIC_LEVEL0));
}

TEST_F(Bank, AnIdWithoutATrackStopsEverythingAndStaysCurrent) {
    audio_PlayMusic(MUSIC_LEVEL1, true);
    audio_PlayMusic(7, true);
    EXPECT_TRUE(playing_now().empty());
    EXPECT_EQ(current_music, 7);
    audio_PlaySound(SOUND_DASH);
    audio_PlayMusic(7, true);
    EXPECT_EQ(playing_now().size(), 1u);
}

TEST_F(Bank, OverlayPlaysOverTheMusicAndKeepsItCurrent) {
    audio_PlayMusic(MUSIC_LEVEL2, true);
    audio_PlayMusic(MUSIC_CUTSCENE1, false);
    audio_PlayMusic(MUSIC_CUTSCENE1, false);  // another copy: only the current music is compared
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[0].copy.sound, music_of(MUSIC_CUTSCENE1));
    EXPECT_EQ(now[1].copy.sound, music_of(MUSIC_CUTSCENE1));
    EXPECT_EQ(now[2].copy.sound, music_of(MUSIC_LEVEL2));
    EXPECT_EQ(now[2].copy.active, 1);
    EXPECT_EQ(current_music, MUSIC_LEVEL2);
}

bool still_playing(PlayingSound *record) {
    for (const Instance &i : playing_now()) {
        if (i.record == record) return i.copy.active != 0;
    }
    return false;
}

TEST_F(Bank, StopLoopingEndsOnlyTheNewestLoopAndNeverTheOldest) {
    audio_PlayMusic(MUSIC_LEVEL0, true);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    audio_PlaySound(SOUND_SHOOT);  // newest, but not looped
    std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 4u);
    PlayingSound *newer_loop = now[1].record;
    PlayingSound *older_loop = now[2].record;
    PlayingSound *music = now[3].record;

    audio_StopLoopingSound();
    EXPECT_FALSE(still_playing(newer_loop));
    EXPECT_TRUE(still_playing(older_loop));
    EXPECT_TRUE(still_playing(now[0].record));

    audio_StopLoopingSound();
    EXPECT_FALSE(still_playing(older_loop));
    audio_StopLoopingSound();  // only the music is left looping, and it is the oldest
    EXPECT_TRUE(still_playing(music));

    // Without music, a lone elevator loop is the oldest instance.
    audio_PlayMusic(MUSIC_NONE, true);
    audio_PlaySound(SOUND_ELEVATOR_LOOP);
    now = playing_now();
    ASSERT_EQ(now.size(), 1u);
    audio_StopLoopingSound();
    EXPECT_TRUE(still_playing(now[0].record));
    EXPECT_EQ(playing_now()[0].copy.looped, 1);
}

TEST_F(Bank, SetVolumeChangesOnlyTheNewestInstance) {
    audio_SetVolume(0.4f);
    EXPECT_EQ(settings.volume, 0.4f);
    EXPECT_TRUE(playing_now().empty());

    audio_PlayMusic(MUSIC_LEVEL1, true);
    audio_PlaySound(SOUND_CHECKPOINT);
    audio_SetVolume(0.9f);
    const std::vector<Instance> now = playing_now();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[0].copy.volume0, 0.9f);
    EXPECT_EQ(now[0].copy.volume1, 0.9f);
    EXPECT_EQ(now[1].copy.volume0, static_cast<float>(0.4f * 0.45));
    EXPECT_EQ(settings.volume, 0.9f);

    audio_PlaySound(SOUND_SHOOT);
    EXPECT_EQ(playing_now()[0].copy.volume0, 0.9f);
}

TEST_F(Bank, IdsWithoutASoundAndDisabledSoundStartNothing) {
    for (SoundId id : {-1, 3, 4, 5, 11, 14, 16, 21, 1000, INT32_MIN}) audio_PlaySound(id);
    for (MusicId id : {-1, 9, 1000}) audio_PlayMusic(id, false);
    EXPECT_TRUE(playing_now().empty());
    EXPECT_EQ(current_music, 0);

    sound_enabled = false;
    audio_PlaySound(SOUND_SHOOT);
    audio_PlayMusic(MUSIC_LEVEL0, true);
    audio_PlayMusic(MUSIC_CUTSCENE2, false);
    EXPECT_TRUE(playing_now().empty());
    EXPECT_EQ(current_music, 0);
    audio_SetVolume(0.2f);
    EXPECT_EQ(settings.volume, 0.2f);
}

TEST_F(Bank, NinthSoundIsDroppedSilently) {
    for (int i = 0; i < 9; ++i) audio_PlaySound(SOUND_SHOOT);
    EXPECT_EQ(playing_now().size(), 8u);
    // A replace still finds a record for the new music at once.
    audio_PlayMusic(MUSIC_LEVEL0, true);
    ASSERT_EQ(playing_now().size(), 1u);
    EXPECT_EQ(playing_now()[0].copy.sound, music_of(MUSIC_LEVEL0));
}

// The game thread plays, stops and changes volume while the mixing thread
// and the device callback run; the sanitizer run watches the sharing.
TEST_F(Bank, GameThreadOperationsWhileTheDeviceRuns) {
    SDL_PauseAudio(0);
    std::mt19937 random(7);
    const Uint32 start = SDL_GetTicks();
    int operations = 0;
    while (SDL_GetTicks() - start < 400) {
        switch (random() % 6) {
        case 0: audio_PlaySound(static_cast<SoundId>(random() % 22)); break;
        case 1: audio_PlaySound(SOUND_ELEVATOR_LOOP); break;
        case 2: audio_PlayMusic(static_cast<MusicId>(random() % 9), random() % 2 == 0); break;
        case 3: audio_StopLoopingSound(); break;
        case 4: audio_SetVolume(static_cast<float>(random() % 100) / 100.0f); break;
        case 5: SDL_Delay(1); break;
        }
        ++operations;
    }
    EXPECT_GT(operations, 100);

    SDL_LockMutex(audio_mixer->mutex);
    int records = 0;
    std::set<PlayingSound *> seen;
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next, ++records) seen.insert(p);
    for (PlayingSound *p = audio_mixer->free_list; p; p = p->next, ++records) seen.insert(p);
    int counted = 0;
    for (const AudioBankEntry &entry : audio_bank) counted += entry.sound.playing_count;
    int playing = 0;
    for (PlayingSound *p = audio_mixer->playing; p; p = p->next) playing += p->sound != nullptr;
    SDL_UnlockMutex(audio_mixer->mutex);
    EXPECT_EQ(records, 8);
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(counted, playing);
}

// The program itself: a bank file missing from the archive ends start-up.
TEST(BankStartUp, MissingFileIsReportedAndEndsWithStatusOne) {
    struct Case {
        std::vector<int> missing;   // load-order indices
        std::vector<std::string> arguments;
        const char *reported;
    };
    const Case cases[] = {
        {{21, 4, 11}, {}, "snd/enemy_hurt.ogg"},
        {{0}, {}, "snd/shoot0.ogg"},
        {{21}, {"--nosound"}, "snd/cutscene5.ogg"},
    };
    for (const Case &c : cases) {
        TempDir folder;
        std::vector<ArchiveEntry> entries;
        for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
            bool gone = false;
            for (int m : c.missing) gone = gone || m == i;
            // Content does not matter: start-up stops before decoding.
            if (!gone) entries.push_back({audio_bank_path(i), std::vector<uint8_t>(16, 0x42)});
        }
        std::string error;
        ASSERT_TRUE(dataio_write_zip(folder.file("data.quob"), entries, &error)) << error;
        const ProcessResult result =
            run_process(NUMBRAL_EXE, c.arguments,
                        {"USERPROFILE=" + folder.path, "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                         "SDL_RENDER_DRIVER=software"},
                        folder.path);
        EXPECT_EQ(result.exit_status, 1) << result.err;
        EXPECT_EQ(result.out, std::string("audio_LoadSound > filename doesn't exist: ") + c.reported + "\n");
    }
}

}  // namespace
