// Sounds from text scores: exact lengths from the tempo, loops whose end
// runs on into their start, and Ogg files that decode at 44000 frames per
// second to what was rendered.
#include "databuild_support.h"

#include "synth.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <cmath>
#include <cstdlib>

namespace {

struct Render {
    bool ok = false;
    Pcm pcm;
    std::string messages;
};

Render render(const TempDir &dir, const std::string &score) {
    write_file(dir.file("test.snd"), score);
    diag_reset();
    Render result;
    result.ok = synth_build(dir.file("test.snd"), &result.pcm);
    for (const std::string &m : diagnostics.messages) result.messages += m + "\n";
    return result;
}

int loudest(const Pcm &pcm, int from, int to) {
    int most = 0;
    for (int i = from * pcm.channels; i < to * pcm.channels; ++i) most = std::max(most, std::abs(static_cast<int>(pcm.samples[i])));
    return most;
}

const char *const SONG =
    "tempo 120\nsteps 4\nloop\n"
    "instrument lead square duty 0.25 release 0.3\n"
    "instrument drum noise note 6000 decay 0.05 sustain 0 release 0.01\n"
    "pattern A\nlead: c4 - e4 . g4 - - . | c5 . . . . . . b4\ndrum: x . . . x . . . | x . . . x . . x!\n"
    "song A\n";

TEST(Scores, LastAsLongAsTheirStepsAtTheTempo) {
    TempDir dir;
    const Render song = render(dir, SONG);
    ASSERT_TRUE(song.ok) << song.messages;
    // 16 sixteenth notes at 120 beats a minute: 2 seconds.
    EXPECT_EQ(song.pcm.frames, 88000);
    EXPECT_EQ(song.pcm.channels, 1);
    EXPECT_EQ(song.pcm.samples.size(), 88000u);
    EXPECT_TRUE(song.pcm.looped);

    const Render stereo = render(dir, std::string("channels 2\n") + SONG + "song A\n");
    ASSERT_TRUE(stereo.ok) << stereo.messages;
    EXPECT_EQ(stereo.pcm.frames, 176000);
    EXPECT_EQ(stereo.pcm.channels, 2);
}

TEST(Scores, ALoopHearsItsLastNoteRingIntoItsStart) {
    TempDir dir;
    // One long note on the last step; nothing plays at the start itself.
    const char *score = "tempo 120\nloop\ninstrument pad sine release 0.4\npattern A\npad: . . . . . . . c5\nsong A\n";
    const Render looped = render(dir, score);
    ASSERT_TRUE(looped.ok) << looped.messages;
    EXPECT_GT(loudest(looped.pcm, 200, 4000), 3000);  // the release sounds over the start
    // Both ends ramp to silence, so the restart never jumps.
    EXPECT_EQ(looped.pcm.samples.front(), 0);
    EXPECT_LT(std::abs(looped.pcm.samples.back()), 400);

    const std::string once = std::string(score).replace(std::string(score).find("loop\n"), 5, "");
    const Render plain = render(dir, once);
    ASSERT_TRUE(plain.ok) << plain.messages;
    EXPECT_EQ(loudest(plain.pcm, 0, 4000), 0);
    EXPECT_GT(plain.pcm.frames, 22000 + static_cast<int>(0.39 * 44000));  // rings out past the last step
}

TEST(Scores, ALoopingEffectRunsOnIntoItsStartWithoutAJump) {
    TempDir dir;
    const Render hum = render(dir, "loop\nlength 0.25\nvoice saw from 97 lowpass 800 volume 0.6\nvoice noise from 3000 volume 0.1\n");
    ASSERT_TRUE(hum.ok) << hum.messages;
    EXPECT_EQ(hum.pcm.frames, 11000);
    // Played twice in a row, the seam steps no more than the sound does
    // elsewhere.
    int largest_step = 0;
    for (int i = 1; i < hum.pcm.frames; ++i) largest_step = std::max(largest_step, std::abs(hum.pcm.samples[i] - hum.pcm.samples[i - 1]));
    EXPECT_LE(std::abs(hum.pcm.samples.front() - hum.pcm.samples.back()), largest_step);
    EXPECT_GT(loudest(hum.pcm, 1000, 10000), 10000);
}

TEST(Scores, EveryVoiceSoundsAndRendersTheSameEveryTime) {
    TempDir dir;
    for (const char *wave : {"square", "triangle", "saw", "sine", "noise"}) {
        const std::string effect = std::string("voice ") + wave +
                                   " from 440 to 880 hold 0.1 release 0.05 vibrato 6 0.5 tremolo 8 0.3 arp 0,7 20 sweep 12 0.02\n";
        const Render a = render(dir, effect);
        const Render b = render(dir, effect);
        ASSERT_TRUE(a.ok) << wave << a.messages;
        EXPECT_NEAR(a.pcm.frames, 4400 + 0.05 * 44000, 50) << wave;  // hold and release, the silent end left out
        EXPECT_GT(loudest(a.pcm, 0, a.pcm.frames), 20000) << wave;  // normalised to 0.8 of full scale
        EXPECT_EQ(a.pcm.samples, b.pcm.samples) << wave;
    }
}

TEST(Scores, EncodeToOggThatDecodesAt44000ToTheRenderedLength) {
    TempDir dir;
    for (const std::string &score : {std::string(SONG), "channels 2\n" + std::string(SONG)}) {
        const Render song = render(dir, score);
        ASSERT_TRUE(song.ok) << song.messages;
        const std::vector<uint8_t> ogg = dataio_encode_ogg(song.pcm.samples.data(), song.pcm.frames, song.pcm.channels, 44000, song.pcm.quality);
        int channels = 0, rate = 0;
        short *samples = nullptr;
        const int frames = stb_vorbis_decode_memory(ogg.data(), static_cast<int>(ogg.size()), &channels, &rate, &samples);
        std::free(samples);
        EXPECT_EQ(frames, song.pcm.frames);
        EXPECT_EQ(channels, song.pcm.channels);
        EXPECT_EQ(rate, 44000);
    }
}

TEST(Scores, NotesAfterAHashAreLeftOutButSharpsAreNot) {
    TempDir dir;
    const Render noted = render(dir, "tempo 120 # two beats a second\ninstrument a square # plain\npattern A\na: c#4 - # held\nsong A\n");
    ASSERT_TRUE(noted.ok) << noted.messages;
    // Two steps of a held c#4 and its release.
    EXPECT_GT(noted.pcm.frames, 11000);
    EXPECT_LE(noted.pcm.frames, 11000 + 2200);
}

TEST(Scores, MistakesAreNamedOnTheirLines) {
    struct Case {
        const char *score, *message;
    };
    const Case cases[] = {
        {"instrument a square\npattern A\nb: c4\nsong A\n", "test.snd:2: pattern \"A\" plays \"b\", which is no instrument"},
        {"instrument a square\npattern A\na: c4 h4\nsong A\n", "\"h4\" is no note (c4, f#5, bb3, x), rest (.) or hold (-)"},
        {"instrument a square\npattern A\na: c4 d4\na: c4\nsong A\n", "the tracks of pattern \"A\" differ in length (1 and 2 steps)"},
        {"instrument a square\nsong B\n", "test.snd:2: there is no pattern \"B\" above this line"},
        {"instrument a square shine 3\n", "test.snd:1: unknown setting \"shine\""},
        {"instrument a organ\n", "test.snd:1: write it as: instrument NAME WAVE"},
        {"voice sine duty 2\n", "test.snd:1: \"duty\" runs from"},
        {"tempo 0\nvoice sine\n", "test.snd:1: write it as: tempo N"},
        {"loop\nvoice sine\n", "a looping effect needs a length"},
        {"a: c4\n", "test.snd:1: a track line belongs to a pattern"},
        {"voice sine\ninstrument a sine\npattern A\na: c4\nsong A\n", "either a song (instruments, patterns, song) or an effect"},
        {"# nothing\n", "makes no sound"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        const Render result = render(dir, c.score);
        EXPECT_FALSE(result.ok) << c.score;
        EXPECT_NE(result.messages.find(c.message), std::string::npos) << c.score << "\n" << result.messages;
    }
}

}  // namespace
