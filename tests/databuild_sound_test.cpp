// Sounds from text scores: lengths from the tempo, loops whose end runs on
// into their start, and mistakes named on their lines.
#include "databuild_support.h"

#include "synth.h"

#include <cstdlib>

namespace {

// Renders the score; messages in diag_text().
bool render(const std::string &score, Pcm *pcm) {
    TempDir dir;
    write_file(dir.file("test.snd"), score);
    diag_reset();
    return synth_build(dir.file("test.snd"), pcm);
}

int loudest(const Pcm &pcm, int from, int to) {
    int most = 0;
    for (int i = from * pcm.channels; i < to * pcm.channels; ++i) most = std::max(most, std::abs(static_cast<int>(pcm.samples[i])));
    return most;
}

TEST(Scores, LastAsLongAsTheirStepsAtTheTempo) {
    // 16 sixteenth notes at 120 beats a minute: 2 seconds. A '#' after a
    // blank starts a note for people; in c#4 it is a sharp.
    Pcm song;
    ASSERT_TRUE(render(
        "tempo 120 # two beats a second\nsteps 4\nloop\ninstrument lead square duty 0.25 release 0.3 # plain\n"
        "instrument drum noise note 6000 decay 0.05 sustain 0 release 0.01\npattern A\n"
        "lead: c#4 - e4 . g4 - - . | c5 . . . . . . b4 # held\ndrum: x . . . x . . . | x . . . x . . x!\nsong A\n",
        &song)) << diag_text();
    EXPECT_TRUE(song.frames == 88000 && song.samples.size() == 88000u);  // one channel
}

TEST(Loops, ALoopHearsItsLastNoteRingIntoItsStartAndRampsAtBothEnds) {
    // One long note on the last step; nothing plays at the start itself.
    const std::string score = "tempo 120\ninstrument pad sine release 0.4\npattern A\npad: . . . . . . . c5\nsong A\n";
    Pcm looped, plain;
    ASSERT_TRUE(render("loop\n" + score, &looped)) << diag_text();
    EXPECT_GT(loudest(looped, 200, 4000), 3000);  // the release sounds over the start
    EXPECT_EQ(looped.samples.front(), 0);
    EXPECT_LT(std::abs(looped.samples.back()), 400);
    ASSERT_TRUE(render(score, &plain)) << diag_text();
    EXPECT_EQ(loudest(plain, 0, 4000), 0);
    EXPECT_GT(plain.frames, 22000 + static_cast<int>(0.39 * 44000));  // rings out past the last step
}

TEST(Loops, ALoopingEffectRunsOnIntoItsStartWithoutAJump) {
    Pcm hum;
    ASSERT_TRUE(render("loop\nlength 0.25\nvoice saw from 97 lowpass 800 volume 0.6\nvoice noise from 3000 volume 0.1\n", &hum));
    EXPECT_EQ(hum.frames, 11000);
    EXPECT_GT(loudest(hum, 1000, 10000), 10000);
    // Played twice in a row, the seam steps no more than the sound does elsewhere.
    int largest_step = 0;
    for (int i = 1; i < hum.frames; ++i) largest_step = std::max(largest_step, std::abs(hum.samples[i] - hum.samples[i - 1]));
    EXPECT_LE(std::abs(hum.samples.front() - hum.samples.back()), largest_step);
    // What follows the end fades into the start: past its slow attack, the
    // swell is loud from the start.
    Pcm swell;
    ASSERT_TRUE(render("loop\nlength 0.25\nvoice sine from 440 attack 0.2\n", &swell)) << diag_text();
    EXPECT_GT(loudest(swell, 100, 1000), 10000);
}

TEST(Scores, EveryWaveSoundsForItsHoldAndRelease) {
    for (const char *wave : {"square", "triangle", "saw", "sine", "noise"}) {
        Pcm pcm;
        ASSERT_TRUE(render(std::string("voice ") + wave +
                               " from 440 to 880 hold 0.1 release 0.05 vibrato 6 0.5 tremolo 8 0.3 arp 0,7 20 sweep 12 0.02\n",
                           &pcm)) << wave << diag_text();
        EXPECT_NEAR(pcm.frames, 4400 + 0.05 * 44000, 50) << wave;  // the silent end left out
        EXPECT_GT(loudest(pcm, 0, pcm.frames), 20000) << wave;  // normalised to 0.8 of full scale
    }
}

TEST(Scores, MistakesAreNamedOnTheirLines) {
    const char *const cases[][2] = {
        // A mistake inside a pattern is named on its own line, not the pattern's.
        {"instrument bass square\npattern A\nbas: c4\nsong A\n",
         "test.snd:3: pattern \"A\" plays \"bas\", which is no instrument; did you mean \"bass\"?"},
        {"instrument a square\npattern A\na: c4 d4\na: c4 h4\nsong A\n",
         "test.snd:4: pattern \"A\": \"h4\" is no note (c4, f#5, bb3, x), rest (.) or hold (-)"},
        {"instrument a square\npattern A\na: c4 d4\na: c4\nsong A\n", "test.snd:4: the tracks of pattern \"A\" differ in length (1 and 2 steps)"},
        {"instrument a square\nsong B\n", "test.snd:2: there is no pattern \"B\" above this line"},
        {"instrument a square relase 3\n", "test.snd:1: unknown setting \"relase\"; did you mean \"release\"?"},
        {"tempo 0\nvoice sine\n", "test.snd:1: write it as: tempo N"},
        {"loop\nvoice sine\n", "a looping effect needs a length"},
        {"voice sine\ninstrument a sine\npattern A\na: c4\nsong A\n", "either a song (instruments, patterns, song) or an effect"},
        {"# nothing\n", "makes no sound"},
    };
    for (const auto &c : cases) {
        Pcm pcm;
        EXPECT_FALSE(render(c[0], &pcm)) << c[0];
        EXPECT_TRUE(holds(diag_text(), c[1])) << c[0];
    }
}

// numbral-databuild --wav renders one sound of the bank, found from a folder
// inside the project, into a WAV file; TIMES repeats it to hear the seam.
TEST(ListenCommand, WritesTheRenderedSoundAsAWavFile) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("content/sounds"));
    std::filesystem::create_directories(dir.file("build/sub"));
    const std::string score = "voice square from 300 to 600 hold 0.05 release 0.02\n";
    write_file(dir.file("content/sounds/jump0.snd"), score);
    Pcm pcm;
    ASSERT_TRUE(render(score, &pcm)) << diag_text();

    ProcessResult result = run_process(NUMBRAL_DATABUILD_EXE, {"--wav", "jump0", dir.file("j.wav"), "3"}, {}, dir.file("build/sub"));
    ASSERT_EQ(result.exit_status, 0) << result.err;
    const std::string wav = read_file(dir.file("j.wav"));
    // A plain header: mono, 44000 frames a second, the data's length; then
    // the samples three times over.
    std::string expected = wav.substr(0, 22) + std::string("\1\0\xE0\xAB\0\0", 6) + wav.substr(28, 12);
    const uint32_t length = 3u * 2u * static_cast<uint32_t>(pcm.frames);
    for (int i = 0; i < 4; ++i) expected += static_cast<char>(length >> (8 * i));
    for (int i = 0; i < 3; ++i) expected.append(reinterpret_cast<const char *>(pcm.samples.data()), 2 * pcm.samples.size());
    EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 8), "RIFFWAVEfmt ");
    EXPECT_TRUE(wav == expected);

    result = run_process(NUMBRAL_DATABUILD_EXE, {"--wav", "jump9", dir.file("x.wav")}, {}, dir.file("build/sub"));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(holds(result.err, "no content/sounds/jump9.snd"));
}

}  // namespace
