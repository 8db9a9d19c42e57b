// The mixing pass, the ring buffer and the decoder, driven directly on a
// context whose device is paused: the test pulls the frames itself.
#include "audio/mixer.h"

#include "dataio/dataio.h"

#include <SDL.h>
#include <gtest/gtest.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {

// Without a sound card SDL must not fall back to ALSA; a driver chosen by
// the caller is kept.
const bool audio_driver_chosen = setenv("SDL_AUDIODRIVER", "dummy", 0) == 0;

// A sound built from explicit sample values, laid out as the decoder does.
LoadedSound make_sound(const std::vector<float> &left, const std::vector<float> &right = {}) {
    const int frames = static_cast<int>(left.size());
    const int channels = right.empty() ? 1 : 2;
    const size_t group_floats = (left.size() + 3) / 4 * 4;
    float *block = static_cast<float *>(aligned_alloc16(group_floats * channels * sizeof(float)));
    std::memset(block, 0, group_floats * channels * sizeof(float));
    std::memcpy(block, left.data(), left.size() * sizeof(float));
    if (channels == 2) std::memcpy(block + group_floats, right.data(), right.size() * sizeof(float));
    return LoadedSound{44000, frames, channels, 0, block, channels == 2 ? block + group_floats : nullptr};
}

std::vector<float> ramp(int frames, int start = 0) {
    std::vector<float> values(frames);
    for (int i = 0; i < frames; ++i) values[i] = static_cast<float>(start + i);
    return values;
}

SoundTemplate left_only(LoadedSound *sound, int32_t looped = 0, float volume = 1.0f) {
    return SoundTemplate{looped, volume, volume, 0.0f, sound};
}

struct Frame {
    int16_t left;
    int16_t right;
};

class MixerPass : public ::testing::Test {
protected:
    void SetUp() override {
        context = mixer_create(8);
        ASSERT_NE(context, nullptr) << SDL_GetError();
        // The device stays open but silent; frames are pulled by pull().
        SDL_PauseAudio(1);
    }
    void TearDown() override {
        mixer_shutdown(context);
        for (LoadedSound &sound : sounds) sound_free(&sound);
    }

    LoadedSound *add(LoadedSound sound) {
        sounds.push_back(sound);
        return &sounds.back();
    }

    std::vector<Frame> pull(int frames) {
        std::vector<Frame> out(static_cast<size_t>(frames), Frame{1234, 1234});
        audio_device_callback(context, reinterpret_cast<uint8_t *>(out.data()), frames * 4);
        return out;
    }

    std::vector<PlayingSound *> playing() {
        std::vector<PlayingSound *> list;
        for (PlayingSound *p = context->playing; p; p = p->next) list.push_back(p);
        return list;
    }

    int free_count() {
        int count = 0;
        for (PlayingSound *p = context->free_list; p; p = p->next) ++count;
        return count;
    }

    MixerContext *context = nullptr;
    std::deque<LoadedSound> sounds;  // stable addresses
};

TEST_F(MixerPass, CentredMonoGivesEqualChannelsAtHalfTheValuesRoundedToEven) {
    const std::vector<float> values = {3, -3, 5, -5, 1, -1, 32767, -32768, 100, 7, 0, 2};
    LoadedSound *sound = add(make_sound(values));
    ASSERT_NE(mixer_play(context, SoundTemplate{0, 1.0f, 1.0f, 0.5f, sound}), nullptr);
    mixer_mix(context);
    const std::vector<Frame> out = pull(MIXER_TARGET_FILL);
    for (size_t i = 0; i < values.size(); ++i) {
        const int16_t expected = static_cast<int16_t>(std::nearbyint(values[i] * 0.5f));
        EXPECT_EQ(out[i].left, expected) << "frame " << i;
        EXPECT_EQ(out[i].right, expected) << "frame " << i;
    }
    EXPECT_EQ(out[0].left, 2);   // 1.5
    EXPECT_EQ(out[2].left, 2);   // 2.5
    EXPECT_EQ(out[1].left, -2);  // -1.5
}

TEST_F(MixerPass, StereoChannelsReachTheirOwnSides) {
    LoadedSound *sound = add(make_sound({100, 200, 300, 400, 500}, {-10, -20, -30, -40, -50}));
    ASSERT_NE(mixer_play(context, SoundTemplate{0, 1.0f, 0.5f, 0.5f, sound}), nullptr);
    mixer_mix(context);
    const std::vector<Frame> out = pull(8);
    const int16_t left[] = {50, 100, 150, 200, 250, 0, 0, 0};
    const int16_t right[] = {-2, -5, -8, -10, -12, 0, 0, 0};  // x 0.25, ties to even
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out[i].left, left[i]) << i;
        EXPECT_EQ(out[i].right, right[i]) << i;
    }
}

TEST_F(MixerPass, LoudSumsSaturateInsteadOfWrapping) {
    struct Case {
        float sample;
        float volume;
        int instances;
        int16_t expected;
    };
    const Case cases[] = {
        {32767, 1.0f, 2, 32767},
        {-32768, 1.0f, 2, -32768},
        {20000, 1.0f, 8, 32767},
        {30000, 1e9f, 1, 32767},     // beyond the 32-bit range too
        {-30000, 1e9f, 1, -32768},
        {-1000, 1.0f, 3, -3000},
    };
    for (const Case &c : cases) {
        LoadedSound *sound = add(make_sound(std::vector<float>(4, c.sample)));
        for (int i = 0; i < c.instances; ++i) ASSERT_NE(mixer_play(context, left_only(sound, 0, c.volume)), nullptr);
        mixer_mix(context);
        const std::vector<Frame> out = pull(MIXER_TARGET_FILL);
        EXPECT_EQ(out[0].left, c.expected) << c.sample << " x " << c.instances;
        EXPECT_EQ(out[3].left, c.expected);
        EXPECT_EQ(out[0].right, 0);
        EXPECT_EQ(out[4].left, 0);
        EXPECT_EQ(free_count(), 8);
    }
}

TEST_F(MixerPass, ShortSoundPlaysItsLastFramesInOrderThenSilence) {
    LoadedSound *sound = add(make_sound(ramp(10, 1)));
    ASSERT_NE(mixer_play(context, left_only(sound)), nullptr);
    EXPECT_EQ(sound->playing_count, 1);
    mixer_mix(context);
    const std::vector<Frame> out = pull(MIXER_TARGET_FILL);
    for (int i = 0; i < MIXER_TARGET_FILL; ++i) {
        ASSERT_EQ(out[i].left, i < 10 ? i + 1 : 0) << i;
        ASSERT_EQ(out[i].right, 0) << i;
    }
    EXPECT_TRUE(playing().empty());
    EXPECT_EQ(free_count(), 8);
    EXPECT_EQ(sound->playing_count, 0);
}

TEST_F(MixerPass, LoopRestartsFromItsFirstFrameInThePassAfterItEnded) {
    const int length = 6002;  // neither a multiple of the pass nor of 4
    LoadedSound *sound = add(make_sound(ramp(length)));
    PlayingSound *instance = mixer_play(context, left_only(sound, 1));
    ASSERT_NE(instance, nullptr);

    mixer_mix(context);
    std::vector<Frame> out = pull(MIXER_TARGET_FILL);
    for (int i = 0; i < MIXER_TARGET_FILL; ++i) ASSERT_EQ(out[i].left, i) << i;

    mixer_mix(context);
    out = pull(MIXER_TARGET_FILL);
    for (int i = 0; i < MIXER_TARGET_FILL; ++i) {
        ASSERT_EQ(out[i].left, MIXER_TARGET_FILL + i < length ? MIXER_TARGET_FILL + i : 0) << i;
    }
    EXPECT_EQ(instance->sample_index, 0);

    mixer_mix(context);
    out = pull(MIXER_TARGET_FILL);
    for (int i = 0; i < MIXER_TARGET_FILL; ++i) ASSERT_EQ(out[i].left, i) << i;
    EXPECT_EQ(playing().size(), 1u);
}

TEST_F(MixerPass, NinthStartIsDroppedUntilARecordIsFree) {
    LoadedSound *short_sound = add(make_sound(ramp(4, 1)));
    LoadedSound *long_sound = add(make_sound(ramp(20000)));
    ASSERT_NE(mixer_play(context, left_only(short_sound)), nullptr);
    for (int i = 1; i < 8; ++i) ASSERT_NE(mixer_play(context, left_only(long_sound, 1)), nullptr);
    const std::vector<PlayingSound *> before = playing();
    EXPECT_EQ(free_count(), 0);

    EXPECT_EQ(mixer_play(context, left_only(short_sound)), nullptr);
    EXPECT_EQ(playing(), before);
    EXPECT_EQ(short_sound->playing_count, 1);
    EXPECT_EQ(long_sound->playing_count, 7);

    mixer_mix(context);  // the short sound ends
    EXPECT_EQ(free_count(), 1);
    EXPECT_NE(mixer_play(context, left_only(short_sound)), nullptr);
}

TEST_F(MixerPass, StopAllFreesEveryRecordEvenWithAFullRing) {
    LoadedSound *sound = add(make_sound(ramp(20000)));
    for (int i = 0; i < 8; ++i) ASSERT_NE(mixer_play(context, left_only(sound, i % 2, 0.1f)), nullptr);
    mixer_mix(context);  // the ring now holds the target fill: a pass has nothing to mix

    mixer_stop_all(context);
    EXPECT_TRUE(playing().empty());
    EXPECT_EQ(free_count(), 8);
    EXPECT_EQ(sound->playing_count, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(context->pool[i].active, 0);
        EXPECT_EQ(context->pool[i].sample_index, 0);
    }

    // What was already mixed still plays out, then silence follows.
    std::vector<Frame> out = pull(MIXER_TARGET_FILL);
    EXPECT_NE(out[100].left, 0);
    mixer_mix(context);
    out = pull(MIXER_TARGET_FILL);
    for (const Frame &frame : out) ASSERT_EQ(frame.left, 0);
}

TEST_F(MixerPass, SoundsWithoutSamplesAreRemovedWithoutSound) {
    LoadedSound *undecoded = add(LoadedSound{});
    LoadedSound *empty_with_count = add(LoadedSound{44000, 100, 1, 0, nullptr, nullptr});
    SoundTemplate templates[] = {
        {0, 1.0f, 1.0f, 0.5f, undecoded},
        {1, 1.0f, 1.0f, 0.5f, undecoded},
        {0, 1.0f, 1.0f, 0.5f, empty_with_count},
        {1, 1.0f, 1.0f, 0.5f, nullptr},
    };
    for (const SoundTemplate &t : templates) ASSERT_NE(mixer_play(context, t), nullptr);
    mixer_mix(context);
    EXPECT_TRUE(playing().empty());
    EXPECT_EQ(free_count(), 8);
    EXPECT_EQ(undecoded->playing_count, 0);
    for (const Frame &frame : pull(MIXER_TARGET_FILL)) {
        ASSERT_EQ(frame.left, 0);
        ASSERT_EQ(frame.right, 0);
    }
}

TEST_F(MixerPass, RingKeepsFramesInOrderAcrossWrapsAndUnderruns) {
    const int length = 60000;
    std::vector<float> values(length);
    for (int i = 0; i < length; ++i) values[i] = static_cast<float>(i % 30000 + 1);
    LoadedSound *sound = add(make_sound(values));
    ASSERT_NE(mixer_play(context, left_only(sound)), nullptr);

    // Uneven pulls move the read index off multiples of 4 and around the
    // end of the ring many times.
    std::vector<int16_t> heard;
    const int pulls[] = {1001, 517, 3, 4093, 2222, 1024, 999};
    for (int round = 0; heard.size() < 40000; ++round) {
        mixer_mix(context);
        const int buffered = (context->write_index - context->read_index + MIXER_RING_CAPACITY) % MIXER_RING_CAPACITY;
        ASSERT_LE(buffered, MIXER_TARGET_FILL);
        ASSERT_GE(buffered, MIXER_TARGET_FILL - 3);
        for (const Frame &frame : pull(pulls[round % std::size(pulls)])) heard.push_back(frame.left);
    }
    for (size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], static_cast<int16_t>(i % 30000 + 1)) << i;

    // Asking for more than is buffered gives the rest as silence; the next
    // pass catches up where the sound stood.
    const size_t position = heard.size() + (context->write_index - context->read_index + MIXER_RING_CAPACITY) %
                                               MIXER_RING_CAPACITY;
    pull(MIXER_TARGET_FILL);
    const std::vector<Frame> underrun = pull(100);
    for (const Frame &frame : underrun) ASSERT_EQ(frame.left, 0);
    mixer_mix(context);
    const std::vector<Frame> resumed = pull(4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(resumed[i].left, static_cast<int16_t>((position + i) % 30000 + 1));
}

// Decoding: the planar floats must be exactly the decoder's 16-bit values.
std::vector<int16_t> tone(int frames, int channels) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            samples[i * channels + c] = static_cast<int16_t>(8000 * std::sin(i * 0.05 * (c + 1)) + c * 1000);
        }
    }
    return samples;
}

TEST(SoundDecode, PlanarGroupsHoldTheDecodedValuesThenZeros) {
    struct Case {
        int frames;
        int channels;
        int rate;
    };
    for (const Case &c : {Case{1001, 1, 44000}, Case{1003, 2, 22050}, Case{4096, 2, 44100}, Case{2, 1, 8000}}) {
        const std::vector<int16_t> source = tone(c.frames, c.channels);
        const std::vector<uint8_t> ogg = dataio_encode_ogg(source.data(), c.frames, c.channels, c.rate, 0.4f);
        ASSERT_FALSE(ogg.empty());
        int channels = 0, rate = 0;
        short *expected = nullptr;
        const int frames = stb_vorbis_decode_memory(ogg.data(), static_cast<int>(ogg.size()), &channels, &rate, &expected);
        ASSERT_GT(frames, 0);

        LoadedSound sound;
        std::memset(&sound, 0x5A, sizeof sound);
        sound_load_ogg_memory(ogg.data(), static_cast<int32_t>(ogg.size()), &sound);
        EXPECT_EQ(sound.sample_count, frames);
        EXPECT_EQ(sound.channel_count, c.channels);
        EXPECT_EQ(sound.sample_rate, c.rate);
        EXPECT_EQ(sound.playing_count, 0);
        ASSERT_NE(sound.channel0, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(sound.channel0) % 16, 0u);
        const int group_floats = (frames + 3) / 4 * 4;
        if (c.channels == 2) {
            EXPECT_EQ(sound.channel1, sound.channel0 + group_floats);
        } else {
            EXPECT_EQ(sound.channel1, nullptr);
        }
        for (int ch = 0; ch < c.channels; ++ch) {
            const float *samples = ch == 0 ? sound.channel0 : sound.channel1;
            for (int i = 0; i < group_floats; ++i) {
                const float want = i < frames ? expected[i * channels + ch] : 0.0f;
                ASSERT_EQ(samples[i], want) << "channel " << ch << " frame " << i;
            }
        }
        std::free(expected);
        sound_free(&sound);
        EXPECT_EQ(sound.channel0, nullptr);
        EXPECT_EQ(sound.sample_count, 0);
    }
}

TEST(SoundDecode, FailuresLeaveTheRecordAllZero) {
    const std::vector<int16_t> three = tone(500, 3);
    const std::vector<uint8_t> three_channels = dataio_encode_ogg(three.data(), 500, 3, 44000, 0.4f);
    ASSERT_FALSE(three_channels.empty());
    const std::vector<int16_t> mono = tone(500, 1);
    std::vector<uint8_t> headers_only = dataio_encode_ogg(mono.data(), 500, 1, 44000, 0.4f);
    headers_only.resize(60);
    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 7);

    struct Case {
        const uint8_t *bytes;
        int32_t length;
    };
    const Case cases[] = {
        {three_channels.data(), static_cast<int32_t>(three_channels.size())},
        {headers_only.data(), static_cast<int32_t>(headers_only.size())},
        {garbage.data(), static_cast<int32_t>(garbage.size())},
        {garbage.data(), 0},
        {nullptr, 100},
    };
    for (const Case &c : cases) {
        LoadedSound sound;
        std::memset(&sound, 0x5A, sizeof sound);
        sound_load_ogg_memory(c.bytes, c.length, &sound);
        const LoadedSound zero = {};
        EXPECT_EQ(std::memcmp(&sound, &zero, sizeof sound), 0) << "length " << c.length;
    }
}

}  // namespace
