// End to end through a real SDL audio device: SDL's disk driver writes what
// the device callback hands it to a file, as fast as it can.
#include "audio/audio.h"

#include "app/app.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <SDL.h>
#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int TONE_FRAMES = 22001;  // the last group of 4 is not full
constexpr int TONE_PERIOD = 40;     // 1100 Hz when played at 44000 frames per second

struct Frame {
    int16_t left, right;
};

// Every sound of the bank is required; all but the shot are short silences.
std::vector<ArchiveEntry> bank_with_tone() {
    // The file declares 22050 Hz; played without resampling its 40-sample
    // period stays 40 frames at the device's 44000. Half a sample of phase
    // keeps every sample away from zero, so silence marks only underruns.
    std::vector<int16_t> tone(2 * TONE_FRAMES);
    for (int i = 0; i < TONE_FRAMES; ++i) {
        const double s = std::sin(2 * M_PI * (i + 0.5) / TONE_PERIOD);
        tone[2 * i] = static_cast<int16_t>(std::lround(16000 * s));
        tone[2 * i + 1] = static_cast<int16_t>(std::lround(8000 * s));
    }
    std::vector<ArchiveEntry> entries = {
        {audio_bank_path(0), dataio_encode_ogg(tone.data(), TONE_FRAMES, 2, 22050, 0.6f)}};
    const std::vector<int16_t> silence(400, 0);
    for (int i = 1; i < AUDIO_BANK_SIZE; ++i)
        entries.push_back({audio_bank_path(i), dataio_encode_ogg(silence.data(), 400, 1, 44000, 0.0f)});
    return entries;
}

bool nothing_left_to_play() {
    SDL_LockMutex(audio_mixer->mutex);
    const bool idle = audio_mixer->playing == nullptr;
    SDL_UnlockMutex(audio_mixer->mutex);
    return idle && audio_mixer->read_index.load() == audio_mixer->write_index.load();
}

TEST(AudioDevice, ToneComesOutSampleForSample) {
    TempDir folder;
    const std::string capture = folder.file("device.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    const std::vector<ArchiveEntry> entries = bank_with_tone();
    mount_test_archive(folder.file("bank.zip"), entries);
    settings.volume = 1.0f;
    sound_enabled = true;
    ASSERT_EQ(audio_Init(), 1) << SDL_GetError();

    // The expected output: the file's decoded values at half volume on each
    // side (centred pan), rounded to even, at the file's own pace: level,
    // balance and pitch all follow.
    int channels = 0, rate = 0;
    short *decoded = nullptr;
    const std::vector<uint8_t> &file = entries[0].bytes;
    const int frames =
        stb_vorbis_decode_memory(file.data(), static_cast<int>(file.size()), &channels, &rate, &decoded);
    ASSERT_EQ(channels, 2);
    std::vector<Frame> expected(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        expected[i] = {static_cast<int16_t>(std::nearbyint(decoded[2 * i] * 0.5f)),
                       static_cast<int16_t>(std::nearbyint(decoded[2 * i + 1] * 0.5f))};
    std::free(decoded);

    audio_PlaySound(SOUND_SHOOT);
    const Uint32 start = SDL_GetTicks();
    while (!nothing_left_to_play() && SDL_GetTicks() - start < 20000) SDL_Delay(1);
    EXPECT_TRUE(nothing_left_to_play()) << "the ended sound gives its record back";
    SDL_Delay(20);
    audio_Shutdown();  // closes the device, which closes the file

    const std::string bytes = read_file(capture);
    std::vector<Frame> heard(bytes.size() / sizeof(Frame));
    std::memcpy(heard.data(), bytes.data(), heard.size() * sizeof(Frame));
    for (std::vector<Frame> *frames_of : {&heard, &expected})
        std::erase_if(*frames_of, [](const Frame &f) { return f.left == 0 && f.right == 0; });
    ASSERT_EQ(heard.size(), expected.size());
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_TRUE(heard[i].left == expected[i].left && heard[i].right == expected[i].right) << "frame " << i;
}

TEST(AudioDevice, NoDeviceMakesAudioStartUpFail) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(audio_Init(), 0);
    EXPECT_EQ(audio_mixer, nullptr);
}

}  // namespace
