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

// A mono sound built from explicit sample values, laid out as the decoder does.
LoadedSound make_sound(const std::vector<float> &values) {
    const size_t group_floats = (values.size() + 3) / 4 * 4;
    float *block = static_cast<float *>(aligned_alloc16(group_floats * sizeof(float)));
    std::memset(block, 0, group_floats * sizeof(float));
    std::memcpy(block, values.data(), values.size() * sizeof(float));
    return LoadedSound{44000, static_cast<int>(values.size()), 1, 0, block, nullptr};
}

// Sample i is i % period + 1: never zero, so silence is told apart.
std::vector<float> ramp(int frames, int period = 1 << 30) {
    std::vector<float> values(frames);
    for (int i = 0; i < frames; ++i) values[i] = static_cast<float>(i % period + 1);
    return values;
}

SoundTemplate left_only(LoadedSound *sound, int32_t looped = 0, float volume = 1.0f) {
    return SoundTemplate{looped, volume, volume, 0.0f, sound};
}

struct Frame {
    int16_t left, right;
};

class MixerPass : public ::testing::Test {
protected:
    void SetUp() override {
        context = mixer_create(8);
        ASSERT_NE(context, nullptr) << SDL_GetError();
        SDL_PauseAudio(1);  // the device stays open but silent; pull() takes the frames
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
    // Mixes one pass and pulls the target fill.
    std::vector<Frame> mix_and_pull() {
        mixer_mix(context);
        return pull(MIXER_TARGET_FILL);
    }
    int count(PlayingSound *list) {
        int n = 0;
        for (PlayingSound *p = list; p; p = p->next) ++n;
        return n;
    }

    MixerContext *context = nullptr;
    std::deque<LoadedSound> sounds;  // stable addresses
};

// A decoded mono file whose length is not a multiple of 4, played centred at
// volume 1: both sides carry the decoder's 16-bit values halved (ties to
// even) up to the last frame, then silence, and the record is free again.
TEST_F(MixerPass, CentredMonoPlaysTheDecodedValuesHalvedOnBothSidesThenSilence) {
    std::vector<int16_t> source(1001);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
    const std::vector<uint8_t> ogg = dataio_encode_ogg(source.data(), 1001, 1, 22050, 0.4f);
    int channels = 0, rate = 0;
    short *decoded = nullptr;
    const int frames =
        stb_vorbis_decode_memory(ogg.data(), static_cast<int>(ogg.size()), &channels, &rate, &decoded);
    ASSERT_NE(frames % 4, 0);
    LoadedSound *sound = add(LoadedSound{});
    sound_load_ogg_memory(ogg.data(), static_cast<int32_t>(ogg.size()), sound);
    ASSERT_NE(mixer_play(context, SoundTemplate{0, 1.0f, 1.0f, 0.5f, sound}), nullptr);
    const std::vector<Frame> out = mix_and_pull();
    for (int i = 0; i < MIXER_TARGET_FILL; ++i) {
        const int16_t expected = i < frames ? static_cast<int16_t>(std::nearbyint(decoded[i] * 0.5f)) : 0;
        ASSERT_TRUE(out[i].left == expected && out[i].right == expected) << "frame " << i;
    }
    std::free(decoded);
    EXPECT_EQ(count(context->free_list), 8);
    EXPECT_EQ(sound->playing_count, 0);
}

TEST_F(MixerPass, LoudSumsSaturateInsteadOfWrapping) {
    struct Case { float sample, volume; int instances; int16_t expected; };
    const Case cases[] = {
        {32767, 1.0f, 2, 32767}, {-32768, 1.0f, 2, -32768}, {-1000, 1.0f, 3, -3000},
        {30000, 1e9f, 1, 32767}, {-30000, 1e9f, 1, -32768},  // beyond the 32-bit range too
    };
    for (const Case &c : cases) {
        LoadedSound *sound = add(make_sound(std::vector<float>(4, c.sample)));
        for (int i = 0; i < c.instances; ++i)
            ASSERT_NE(mixer_play(context, left_only(sound, 0, c.volume)), nullptr);
        const std::vector<Frame> out = mix_and_pull();
        EXPECT_EQ(out[3].left, c.expected) << c.sample << " x " << c.instances;
        EXPECT_EQ(out[3].right, 0);
        EXPECT_EQ(out[4].left, 0);
    }
}

TEST_F(MixerPass, LoopRestartsFromItsFirstFrameInThePassAfterItEnded) {
    const int length = 6002;  // neither a multiple of the pass nor of 4
    ASSERT_NE(mixer_play(context, left_only(add(make_sound(ramp(length))), 1)), nullptr);
    for (int pass = 0; pass < 3; ++pass) {
        const std::vector<Frame> out = mix_and_pull();
        const int first = pass == 1 ? MIXER_TARGET_FILL : 0;  // the second pass holds the end, then silence
        for (int i = 0; i < MIXER_TARGET_FILL; ++i)
            ASSERT_EQ(out[i].left, first + i < length ? first + i + 1 : 0) << pass << ":" << i;
    }
}

// Eight records: a ninth start is dropped without touching the others, and
// a stop frees all eight at once even when the ring is full; what was
// already mixed still plays out.
TEST_F(MixerPass, NinthStartIsDroppedAndStopAllFreesEveryRecordEvenWithAFullRing) {
    LoadedSound *sound = add(make_sound(ramp(20000)));
    for (int i = 0; i < 8; ++i) ASSERT_NE(mixer_play(context, left_only(sound, i % 2, 0.1f)), nullptr);
    EXPECT_EQ(mixer_play(context, left_only(sound)), nullptr);
    EXPECT_EQ(count(context->playing), 8);
    EXPECT_EQ(sound->playing_count, 8);

    mixer_mix(context);  // the ring now holds the target fill: a pass has nothing to mix
    mixer_stop_all(context);
    EXPECT_EQ(count(context->free_list), 8);
    EXPECT_EQ(sound->playing_count, 0);
    EXPECT_NE(pull(MIXER_TARGET_FILL)[100].left, 0);
    for (const Frame &frame : mix_and_pull()) ASSERT_EQ(frame.left, 0);
}

// Files that do not decode leave an all-zero record, which plays as nothing
// and frees its record at once, looped or not.
TEST_F(MixerPass, SoundsThatFailedToDecodeAreRemovedWithoutSound) {
    std::vector<int16_t> samples(1500, 3000);
    const std::vector<uint8_t> three_channels = dataio_encode_ogg(samples.data(), 500, 3, 44000, 0.4f);
    const std::vector<uint8_t> mono = dataio_encode_ogg(samples.data(), 500, 1, 44000, 0.4f);
    const std::pair<const uint8_t *, size_t> files[] = {
        {three_channels.data(), three_channels.size()}, {mono.data(), 60} /* headers only */, {nullptr, 100}};
    for (const auto &[bytes, length] : files) {
        LoadedSound *sound = add(LoadedSound{});
        std::memset(sound, 0x5A, sizeof *sound);
        sound_load_ogg_memory(bytes, static_cast<int32_t>(length), sound);
        const LoadedSound zero = {};
        EXPECT_EQ(std::memcmp(sound, &zero, sizeof *sound), 0) << "length " << length;
        ASSERT_NE(mixer_play(context, SoundTemplate{bytes == mono.data(), 1.0f, 1.0f, 0.5f, sound}), nullptr);
    }
    ASSERT_NE(mixer_play(context, SoundTemplate{1, 1.0f, 1.0f, 0.5f, nullptr}), nullptr);
    for (const Frame &frame : mix_and_pull()) ASSERT_TRUE(frame.left == 0 && frame.right == 0);
    EXPECT_EQ(count(context->free_list), 8);
}

TEST_F(MixerPass, RingKeepsFramesInOrderAcrossWrapsAndUnderruns) {
    ASSERT_NE(mixer_play(context, left_only(add(make_sound(ramp(60000, 30000))))), nullptr);
    auto buffered = [&] {
        return (context->write_index - context->read_index + MIXER_RING_CAPACITY) % MIXER_RING_CAPACITY;
    };
    // Uneven pulls move the read index off multiples of 4 and around the
    // end of the ring many times.
    std::vector<int16_t> heard;
    const int pulls[] = {1001, 517, 3, 4093, 2222, 1024, 999};
    for (int round = 0; heard.size() < 40000; ++round) {
        mixer_mix(context);
        ASSERT_LE(buffered(), MIXER_TARGET_FILL);
        ASSERT_GE(buffered(), MIXER_TARGET_FILL - 3);
        for (const Frame &frame : pull(pulls[round % std::size(pulls)])) heard.push_back(frame.left);
    }
    for (size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], static_cast<int16_t>(i % 30000 + 1)) << i;

    // Asking for more than is buffered gives the rest as silence; the next
    // pass catches up where the sound stood.
    const size_t position = heard.size() + buffered();
    pull(MIXER_TARGET_FILL);
    for (const Frame &frame : pull(100)) ASSERT_EQ(frame.left, 0);
    mixer_mix(context);
    const std::vector<Frame> resumed = pull(4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(resumed[i].left, static_cast<int16_t>((position + i) % 30000 + 1));
}

}  // namespace
