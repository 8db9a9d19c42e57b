#include "synth.h"

#include "common/numeric.h"
#include "layouts.h"
#include "source.h"

#include <algorithm>
#include <cmath>
#include <map>

static constexpr double RATE = SOUND_RATE;
static constexpr double PI = 3.14159265358979323846;
static constexpr double LONGEST_SOUND = 120.0;  // seconds
static constexpr int DECLICK_FRAMES = 64;       // ramp at the ends of a loop

namespace {

enum class Wave { square, triangle, saw, sine, noise };

// An instrument of a score, or one voice of a sound effect.
struct Instrument {
    std::string name;
    Wave wave = Wave::square;
    double volume = 0.5, pan = 0.5, duty = 0.5;
    double attack = 0.005, decay = 0.1, sustain = 0.7, release = 0.05;
    double vibrato_rate = 0, vibrato_depth = 0;  // Hz, semitones
    double tremolo_rate = 0, tremolo_depth = 0;  // Hz, 0 to 1
    double sweep = 0, sweep_time = 0;            // semitones away at the start, seconds to the note
    std::vector<double> arp;                     // semitone steps taken in turn
    double arp_rate = 0;                         // steps per second
    double lowpass = 0;                          // cut-off in Hz, 0 = none
    double transpose = 0;                        // semitones
    double note = 440;                           // frequency of an "x" in a pattern
    // Sound effect voices only.
    double from = 440, to = 0;  // frequency glides from..to over the held time (to 0: stays)
    double start = 0, hold = -1;
    int line = 0;
};

// One note to render.
struct Note {
    const Instrument *instrument;
    long start, hold;
    double frequency, velocity;
};

// One line of a pattern: an instrument and one token per step.
struct Track {
    std::string instrument;
    std::vector<std::string> steps;
    int line = 0;
};

struct Pattern {
    int line = 0;
    std::vector<Track> tracks;
};

struct Score {
    std::string path;
    double tempo = 120;
    int steps = 4;
    bool loop = false;
    int channels = 1;
    double peak = 0.8;
    double gain = 0;  // when set, used instead of normalising to the peak
    float quality = 0.3f;
    double echo_delay = 0, echo_feedback = 0;
    double length = 0;
    std::map<std::string, Instrument> instruments;
    std::vector<Instrument> voices;
    std::map<std::string, Pattern> patterns;
    std::vector<std::string> song;
    int song_line = 0;
};

}  // namespace

// Note names: a letter, an optional '#' or 'b', an octave; a4 is 440 Hz.
static bool note_frequency(const std::string &word, double *out) {
    if (word.size() < 2) return false;
    static const int offsets[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
    if (letter < 'a' || letter > 'g') return false;
    int semitone = offsets[letter - 'a'];
    size_t i = 1;
    if (word[i] == '#') {
        ++semitone;
        ++i;
    } else if (word[i] == 'b' && i + 1 < word.size()) {
        --semitone;
        ++i;
    }
    if (i + 1 != word.size() || word[i] < '0' || word[i] > '9') return false;
    const int midi = 12 * (word[i] - '0' + 1) + semitone;
    *out = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    return true;
}

static bool frequency_word(const std::string &word, double *out) {
    double hz = 0;
    if (source_float(word, &hz)) {
        if (hz <= 0 || hz > 200000) return false;
        *out = hz;
        return true;
    }
    return note_frequency(word, out);
}

static bool read_wave(const std::string &word, Wave *out) {
    static const std::pair<const char *, Wave> waves[] = {
        {"square", Wave::square}, {"triangle", Wave::triangle}, {"saw", Wave::saw}, {"sine", Wave::sine}, {"noise", Wave::noise}};
    for (const auto &w : waves) {
        if (word == w.first) {
            *out = w.second;
            return true;
        }
    }
    return false;
}

// Reads "key value..." pairs after the wave; false after an error.
static bool read_parameters(const std::string &path, int line, const std::vector<std::string> &words, size_t from,
                            bool voice, Instrument *in) {
    struct Range {
        const char *key;
        double *value;
        double low, high;
    };
    const Range ranges[] = {
        {"volume", &in->volume, 0, 4},      {"pan", &in->pan, 0, 1},           {"duty", &in->duty, 0.01, 0.99},
        {"attack", &in->attack, 0, 10},     {"decay", &in->decay, 0, 10},      {"sustain", &in->sustain, 0, 1},
        {"release", &in->release, 0, 10},   {"lowpass", &in->lowpass, 10, 40000}, {"transpose", &in->transpose, -48, 48},
        {"start", &in->start, 0, LONGEST_SOUND}, {"hold", &in->hold, 0, LONGEST_SOUND},
    };
    for (size_t i = from; i < words.size(); ++i) {
        const std::string &key = words[i];
        auto value = [&](size_t k, double *out) {
            if (i + k >= words.size() || !source_float(words[i + k], out)) {
                diag_error(path, line, quoted(key) + " needs a number after it");
                return false;
            }
            return true;
        };
        bool known = false;
        for (const Range &range : ranges) {
            if (key != range.key) continue;
            known = true;
            if (!value(1, range.value)) return false;
            if (*range.value < range.low || *range.value > range.high) {
                diag_error(path, line, quoted(key) + " runs from " + source_number(range.low) + " to " + source_number(range.high));
                return false;
            }
            if ((key == "start" || key == "hold") && !voice) {
                diag_error(path, line, quoted(key) + " belongs to sound effect voices; notes take their times from the pattern");
                return false;
            }
            i += 1;
        }
        if (known) continue;
        if (key == "vibrato" || key == "tremolo" || key == "sweep") {
            double a = 0, b = 0;
            if (!value(1, &a) || !value(2, &b)) return false;
            if (key == "vibrato") {
                in->vibrato_rate = a;
                in->vibrato_depth = b;
            } else if (key == "tremolo") {
                in->tremolo_rate = a;
                in->tremolo_depth = std::clamp(b, 0.0, 1.0);
            } else {
                in->sweep = a;
                in->sweep_time = b;
            }
            if (a < -96 || a > 96 || b < 0 || b > 60) {
                diag_error(path, line, quoted(key) + " takes two numbers within reason");
                return false;
            }
            i += 2;
        } else if (key == "arp") {
            // arp 0,4,7 RATE
            if (i + 2 >= words.size()) {
                diag_error(path, line, "write it as: arp 0,4,7 RATE");
                return false;
            }
            in->arp.clear();
            std::string list = words[i + 1] + ",";
            for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
                double step = 0;
                if (!source_float(list.substr(start, comma - start), &step)) {
                    diag_error(path, line, "write it as: arp 0,4,7 RATE");
                    return false;
                }
                in->arp.push_back(step);
            }
            if (!value(2, &in->arp_rate) || in->arp_rate <= 0) return false;
            i += 2;
        } else if (key == "note" || key == "from" || key == "to") {
            double hz = 0;
            if (i + 1 >= words.size() || !frequency_word(words[i + 1], &hz)) {
                diag_error(path, line, quoted(key) + " takes a note (c4, f#5, bb3) or a frequency in Hz");
                return false;
            }
            (key == "note" ? in->note : key == "from" ? in->from : in->to) = hz;
            i += 1;
        } else {
            static const std::vector<std::string> SETTINGS = {
                "volume", "pan",     "duty",    "attack", "decay", "sustain", "release", "lowpass", "transpose", "start",
                "hold",   "vibrato", "tremolo", "sweep",  "arp",   "note",    "from",    "to"};
            diag_error(path, line, "unknown setting " + quoted(key) + source_suggest(key, SETTINGS));
            return false;
        }
    }
    return true;
}

static bool read_one_number(const std::string &path, int line, const std::vector<std::string> &words, double low,
                            double high, double *out) {
    if (words.size() != 2 || !source_float(words[1], out) || *out < low || *out > high) {
        diag_error(path, line, "write it as: " + words[0] + " N, N from " + source_number(low) + " to " + source_number(high));
        return false;
    }
    return true;
}

static void read_track(Score *score, Pattern *pattern, const SourceLine &line, const std::vector<std::string> &words) {
    std::string name = words[0].substr(0, words[0].size() - 1);
    std::vector<std::string> tokens;
    int repeat = 1;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string &token = words[i];
        if (token == "|") continue;
        if (token[0] == '*' && i + 1 == words.size()) {
            int32_t times = 0;
            if (!source_int(token.substr(1), &times) || times < 1 || times > 64) {
                diag_error(score->path, line.number, "a line ends in *N to repeat it N times (1 to 64)");
                return;
            }
            repeat = times;
            continue;
        }
        tokens.push_back(token);
    }
    std::vector<std::string> steps;
    for (int r = 0; r < repeat; ++r) steps.insert(steps.end(), tokens.begin(), tokens.end());
    pattern->tracks.push_back({name, steps, line.number});
}

static bool parse_score(const SourceFile &source, Score *score) {
    const int errors_before = diagnostics.errors;
    Pattern *pattern = nullptr;
    for (const SourceLine &line : source.lines) {
        const std::string text = source_strip_note(line.text);
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> words = source_words(text);
        const std::string &word = words[0];
        double value = 0;
        if (word.size() > 1 && word.back() == ':') {
            if (!pattern) {
                diag_error(source.path, line.number, "a track line belongs to a pattern (pattern NAME above it)");
                continue;
            }
            read_track(score, pattern, line, words);
            continue;
        }
        pattern = nullptr;
        if (word == "tempo") {
            if (read_one_number(source.path, line.number, words, 20, 400, &value)) score->tempo = value;
        } else if (word == "steps") {
            if (read_one_number(source.path, line.number, words, 1, 16, &value)) score->steps = static_cast<int>(value);
        } else if (word == "channels") {
            if (read_one_number(source.path, line.number, words, 1, 2, &value)) score->channels = static_cast<int>(value);
        } else if (word == "peak") {
            if (read_one_number(source.path, line.number, words, 0.01, 1, &value)) score->peak = value;
        } else if (word == "gain") {
            if (read_one_number(source.path, line.number, words, 0.001, 16, &value)) score->gain = value;
        } else if (word == "quality") {
            if (read_one_number(source.path, line.number, words, -0.1, 1, &value)) score->quality = static_cast<float>(value);
        } else if (word == "length") {
            if (read_one_number(source.path, line.number, words, 0.001, LONGEST_SOUND, &value)) score->length = value;
        } else if (word == "loop") {
            score->loop = true;
        } else if (word == "echo") {
            double delay = 0, feedback = 0;
            if (words.size() != 3 || !source_float(words[1], &delay) || !source_float(words[2], &feedback) || delay <= 0 ||
                delay > 2 || feedback < 0 || feedback > 0.9) {
                diag_error(source.path, line.number, "write it as: echo DELAY FEEDBACK (delay up to 2 s, feedback up to 0.9)");
            } else {
                score->echo_delay = delay;
                score->echo_feedback = feedback;
            }
        } else if (word == "instrument" || word == "voice") {
            const bool voice = word == "voice";
            Instrument in;
            in.line = line.number;
            const size_t wave_at = voice ? 1 : 2;
            if (words.size() <= wave_at || !read_wave(words[wave_at], &in.wave)) {
                diag_error(source.path, line.number,
                           std::string("write it as: ") + (voice ? "voice WAVE" : "instrument NAME WAVE") +
                               " [settings], WAVE one of square, triangle, saw, sine, noise" +
                               (words.size() > wave_at ? source_suggest(words[wave_at], {"square", "triangle", "saw", "sine", "noise"}) : ""));
                continue;
            }
            if (!read_parameters(source.path, line.number, words, wave_at + 1, voice, &in)) continue;
            if (voice) {
                score->voices.push_back(in);
            } else {
                in.name = words[1];
                if (score->instruments.count(in.name)) diag_error(source.path, line.number, "the instrument " + quoted(in.name) + " is defined twice");
                score->instruments[in.name] = in;
            }
        } else if (word == "pattern") {
            if (words.size() != 2) {
                diag_error(source.path, line.number, "write it as: pattern NAME");
                continue;
            }
            if (score->patterns.count(words[1])) diag_error(source.path, line.number, "the pattern " + quoted(words[1]) + " is defined twice");
            pattern = &score->patterns[words[1]];
            *pattern = Pattern{};
            pattern->line = line.number;
        } else if (word == "song") {
            if (!score->song_line) score->song_line = line.number;
            for (size_t i = 1; i < words.size(); ++i) {
                if (!score->patterns.count(words[i])) {
                    diag_error(source.path, line.number, "there is no pattern " + quoted(words[i]) + " above this line");
                }
                score->song.push_back(words[i]);
            }
        } else {
            static const std::vector<std::string> LINES = {"tempo", "steps",      "channels", "peak",    "gain",  "quality",
                                                           "length", "loop", "echo", "instrument", "voice", "pattern", "song"};
            diag_error(source.path, line.number, "unknown line " + quoted(word) + source_suggest(word, LINES));
        }
    }
    if (!score->song.empty() && !score->voices.empty()) {
        diag_error(source.path, score->song_line, "a sound is either a song (instruments, patterns, song) or an effect (voices), not both");
    } else if (score->song.empty() && score->voices.empty() && diagnostics.errors == errors_before) {
        diag_error(source.path, 0, "makes no sound: give it voices, or instruments, patterns and a song");
    }
    if (score->loop && !score->voices.empty() && score->length <= 0) {
        diag_error(source.path, 0, "a looping effect needs a length (length SECONDS)");
    }
    return diagnostics.errors == errors_before;
}

// ---------------------------------------------------------------- synthesis

static double poly_blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

static void render_note(std::vector<double> *channels, int channel_count, const Note &note) {
    const Instrument &in = *note.instrument;
    const double attack = std::max(in.attack, 0.001), release = std::max(in.release, 0.002);
    const long release_frames = static_cast<long>(std::ceil(release * RATE));
    const long total = note.hold + release_frames;
    const size_t end = static_cast<size_t>(note.start + total);
    for (int c = 0; c < channel_count; ++c) {
        if (channels[c].size() < end) channels[c].resize(end, 0.0);
    }
    double gains[2] = {1.0, 1.0};
    if (channel_count == 2) {
        gains[0] = std::min(1.0, 2.0 * (1.0 - in.pan));
        gains[1] = std::min(1.0, 2.0 * in.pan);
    }
    const double lowpass_step = in.lowpass > 0 ? 1.0 - std::exp(-2.0 * PI * in.lowpass / RATE) : 1.0;
    const double base = note.frequency * std::pow(2.0, in.transpose / 12.0);
    const double glide_to = in.to > 0 ? in.to * std::pow(2.0, in.transpose / 12.0) : 0.0;
    double phase = 0, filtered = 0, level = 0, noise = 1;
    uint32_t lfsr = 0x7FFF;  // 15-bit shift register of the noise voice
    for (long n = 0; n < total; ++n) {
        const double t = n / RATE;
        double envelope;
        if (n < note.hold) {
            if (t < attack) envelope = t / attack;
            else if (t < attack + in.decay) envelope = 1.0 - (1.0 - in.sustain) * (t - attack) / in.decay;
            else envelope = in.sustain;
            level = envelope;
        } else {
            envelope = level * (1.0 - (n - note.hold) / (release * RATE));
            if (envelope <= 0) break;
        }
        double frequency = base;
        if (glide_to > 0 && note.hold > 1) frequency = base * std::pow(glide_to / base, std::min(1.0, static_cast<double>(n) / note.hold));
        double semitones = 0;
        if (in.sweep_time > 0 && t < in.sweep_time) semitones += in.sweep * (1.0 - t / in.sweep_time);
        if (in.vibrato_depth > 0) semitones += in.vibrato_depth * std::sin(2.0 * PI * in.vibrato_rate * t);
        if (!in.arp.empty()) semitones += in.arp[static_cast<size_t>(t * in.arp_rate) % in.arp.size()];
        if (semitones != 0) frequency *= std::pow(2.0, semitones / 12.0);
        const double step = std::min(frequency / RATE, in.wave == Wave::noise ? 4.0 : 0.45);

        double value = 0;
        switch (in.wave) {
        case Wave::sine: value = std::sin(2.0 * PI * phase); break;
        case Wave::square: {
            value = phase < in.duty ? 1.0 : -1.0;
            value += poly_blep(phase, step);
            double falling = phase - in.duty;
            if (falling < 0) falling += 1.0;
            value -= poly_blep(falling, step);
            break;
        }
        case Wave::saw: value = 2.0 * phase - 1.0 - poly_blep(phase, step); break;
        case Wave::triangle: {
            double shifted = phase + 0.25;
            if (shifted >= 1.0) shifted -= 1.0;
            value = 2.0 * std::fabs(2.0 * shifted - 1.0) - 1.0;
            break;
        }
        case Wave::noise: value = noise; break;
        }
        phase += step;
        while (phase >= 1.0) {
            phase -= 1.0;
            if (in.wave == Wave::noise) {
                const uint32_t bit = (lfsr ^ (lfsr >> 1)) & 1u;
                lfsr = (lfsr >> 1) | (bit << 14);
                noise = (lfsr & 1u) ? 1.0 : -1.0;
            }
        }
        if (in.tremolo_depth > 0) value *= 1.0 - in.tremolo_depth * (0.5 + 0.5 * std::sin(2.0 * PI * in.tremolo_rate * t));
        filtered += lowpass_step * (value - filtered);
        const double sample = filtered * envelope * in.volume * note.velocity;
        for (int c = 0; c < channel_count; ++c) channels[c][static_cast<size_t>(note.start + n)] += sample * gains[c];
    }
}

static double longest_tail(const Score &score) {
    double release = 0;
    for (const auto &entry : score.instruments) release = std::max(release, entry.second.release);
    for (const Instrument &voice : score.voices) release = std::max(release, voice.release);
    double tail = release + 0.01;
    if (score.echo_feedback > 0) {
        const double repeats = std::ceil(std::log(0.001) / std::log(score.echo_feedback));
        tail += std::min(8.0, repeats * score.echo_delay);
    }
    return tail;
}

// The notes of a song, and the loop length in frames.
static bool song_notes(const Score &score, std::vector<Note> *notes, long *length) {
    const int errors_before = diagnostics.errors;
    const double step_frames = RATE * 60.0 / (score.tempo * score.steps);
    long step_index = 0;
    auto frame_of = [&](long step) { return static_cast<long>(std::llround(step * step_frames)); };
    for (const std::string &name : score.song) {
        const auto found = score.patterns.find(name);
        if (found == score.patterns.end()) continue;
        const Pattern &pattern = found->second;
        size_t steps = 0;
        for (const Track &track : pattern.tracks) steps = std::max(steps, track.steps.size());
        for (const Track &track : pattern.tracks) {
            const auto instrument = score.instruments.find(track.instrument);
            if (instrument == score.instruments.end()) {
                std::vector<std::string> names;
                for (const auto &entry : score.instruments) names.push_back(entry.first);
                diag_error(score.path, track.line, "pattern " + quoted(name) + " plays " + quoted(track.instrument) +
                                                       ", which is no instrument" + source_suggest(track.instrument, names));
                continue;
            }
            if (track.steps.size() != steps) {
                diag_error(score.path, track.line, "the tracks of pattern " + quoted(name) + " differ in length (" +
                                                       std::to_string(track.steps.size()) + " and " + std::to_string(steps) + " steps)");
                continue;
            }
            const std::vector<std::string> &tokens = track.steps;
            for (size_t s = 0; s < tokens.size(); ++s) {
                std::string token = tokens[s];
                if (token == "." || token == "-") continue;
                double velocity = 1.0;
                if (token.back() == '!') velocity = 1.3;
                if (token.back() == '?') velocity = 0.6;
                if (velocity != 1.0) token.pop_back();
                double frequency = 0;
                if (token == "x") {
                    frequency = instrument->second.note;
                } else if (!note_frequency(token, &frequency)) {
                    diag_error(score.path, track.line, "pattern " + quoted(name) + ": " + quoted(tokens[s]) +
                                                           " is no note (c4, f#5, bb3, x), rest (.) or hold (-)");
                    continue;
                }
                size_t end = s + 1;
                while (end < tokens.size() && tokens[end] == "-") ++end;
                const long start = frame_of(step_index + static_cast<long>(s));
                const long hold = frame_of(step_index + static_cast<long>(end)) - start;
                notes->push_back({&instrument->second, start, hold, frequency, velocity});
            }
        }
        step_index += static_cast<long>(steps);
    }
    *length = frame_of(step_index);
    if (*length <= 0 && diagnostics.errors == errors_before) diag_error(score.path, score.song_line, "the song has no steps");
    if (*length > LONGEST_SOUND * RATE) diag_error(score.path, score.song_line, "the song is longer than 120 seconds");
    return diagnostics.errors == errors_before;
}

static void apply_echo(std::vector<double> *channel, const Score &score) {
    if (score.echo_feedback <= 0) return;
    const size_t delay = static_cast<size_t>(std::llround(score.echo_delay * RATE));
    for (size_t n = delay; n < channel->size(); ++n) (*channel)[n] += score.echo_feedback * (*channel)[n - delay];
}

// A sound that ends rings out until it falls 60 dB below its loudest
// moment; the frames after that are left out.
static long ring_out(const std::vector<double> *channels, int channel_count, long length) {
    double loudest = 0;
    for (int c = 0; c < channel_count; ++c) {
        for (long n = 0; n < length; ++n) loudest = std::max(loudest, std::fabs(channels[c][n]));
    }
    const double quiet = loudest * 0.001;
    while (length > 1 && std::fabs(channels[0][length - 1]) <= quiet &&
           (channel_count == 1 || std::fabs(channels[1][length - 1]) <= quiet)) {
        --length;
    }
    return length;
}

bool synth_build(const std::string &path, Pcm *out) {
    SourceFile source;
    *out = Pcm{};
    if (!source_read(path, &source)) return false;
    Score score;
    score.path = path;
    if (!parse_score(source, &score)) return false;

    std::vector<double> channels[2];
    const int channel_count = score.channels;
    long length = 0;
    if (!score.song.empty()) {
        std::vector<Note> notes;
        if (!song_notes(score, &notes, &length)) return false;
        const long tail = static_cast<long>(std::ceil(longest_tail(score) * RATE));
        for (int c = 0; c < channel_count; ++c) channels[c].assign(static_cast<size_t>(length + tail), 0.0);
        for (const Note &note : notes) render_note(channels, channel_count, note);
        for (int c = 0; c < channel_count; ++c) {
            apply_echo(&channels[c], score);
            if (score.loop) {
                // What rings past the end sounds again over the start: the
                // loop is the song played over and over.
                for (size_t n = static_cast<size_t>(length); n < channels[c].size(); ++n) channels[c][n % length] += channels[c][n];
            }
        }
        if (!score.loop) length = ring_out(channels, channel_count, static_cast<long>(channels[0].size()));
    } else {
        const long crossfade = score.loop ? static_cast<long>(std::min(0.1, score.length / 4) * RATE) : 0;
        long end = 0;
        std::vector<Note> notes;
        for (const Instrument &voice : score.voices) {
            const double release = std::max(voice.release, 0.002);
            double hold = voice.hold;
            if (hold < 0) {
                // Unless told otherwise a voice lasts the whole effect (and
                // through the crossfade of a loop).
                hold = score.length > 0 ? score.length - voice.start - (score.loop ? -crossfade / RATE : release) : 0.1;
            }
            const long start = static_cast<long>(std::llround(voice.start * RATE));
            const long hold_frames = std::max(1L, static_cast<long>(std::llround(hold * RATE)));
            notes.push_back({&voice, start, hold_frames, voice.from, 1.0});
            end = std::max(end, start + hold_frames + static_cast<long>(std::ceil(release * RATE)));
        }
        if (end > LONGEST_SOUND * RATE) {
            diag_error(path, 0, "its voices run longer than 120 seconds");
            return false;
        }
        if (score.echo_feedback > 0 && score.length <= 0) end += static_cast<long>(std::ceil((longest_tail(score) - 0.01) * RATE));
        length = score.length > 0 ? static_cast<long>(std::llround(score.length * RATE)) : end;
        for (int c = 0; c < channel_count; ++c) channels[c].assign(static_cast<size_t>(std::max(end, length + crossfade)), 0.0);
        for (const Note &note : notes) render_note(channels, channel_count, note);
        for (int c = 0; c < channel_count; ++c) {
            apply_echo(&channels[c], score);
            // A looping effect fades what follows its end into its start.
            for (long n = 0; n < crossfade; ++n) {
                const double w = static_cast<double>(n) / crossfade;
                channels[c][n] = channels[c][n] * w + channels[c][length + n] * (1.0 - w);
            }
        }
        if (score.length <= 0) length = ring_out(channels, channel_count, length);
    }
    if (length <= 0) {
        diag_error(path, 0, "renders to no frames");
        return false;
    }

    // The ends of a loop (and the cut end of any sound) ramp to silence, so
    // that a restart never jumps.
    for (int c = 0; c < channel_count; ++c) {
        channels[c].resize(static_cast<size_t>(length), 0.0);
        const long ramp = std::min<long>(DECLICK_FRAMES, length / 2);
        for (long n = 0; n < ramp; ++n) {
            const double w = static_cast<double>(n) / ramp;
            if (score.loop) channels[c][n] *= w;
            channels[c][length - 1 - n] *= w;
        }
    }

    double loudest = 0;
    for (int c = 0; c < channel_count; ++c) {
        for (double v : channels[c]) loudest = std::max(loudest, std::fabs(v));
    }
    const double scale = score.gain > 0 ? score.gain : (loudest > 0 ? score.peak / loudest : 1.0);
    if (score.gain > 0 && loudest * scale > 1.0) {
        diag_warning(path, 0, "clips: its loudest sample is " + std::to_string(loudest * scale).substr(0, 4) + " times full scale");
    }
    out->channels = channel_count;
    out->frames = static_cast<int>(length);
    out->looped = score.loop;
    out->quality = score.quality;
    out->samples.resize(static_cast<size_t>(length) * channel_count);
    for (long n = 0; n < length; ++n) {
        for (int c = 0; c < channel_count; ++c) {
            const int32_t v = num_round(channels[c][n] * scale * 32767.0);
            out->samples[static_cast<size_t>(n) * channel_count + c] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        }
    }
    return true;
}
