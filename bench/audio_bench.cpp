// Audio costs: one mixing pass of 4096 frames with 8 voices against a plain
// scalar loop doing the same work, with the sources hot in cache and
// streaming from memory (beside a read sweep that gives the bandwidth
// bound); and the time to load the whole sound bank from a data archive.
//
//   audio_bench [benchmark flags] [archive]      (default ./data.quob)
//
// When the archive is missing or lacks a bank file, a stand-in bank of 22
// encoded sounds of realistic lengths is built first, and the summary says so.
#include "audio/audio.h"
#include "audio/mixer.h"
#include "bench_table.h"

#include "dataio/dataio.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <physfs.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int VOICES = 8;
constexpr int PASS_FRAMES = MIXER_TARGET_FILL;
constexpr int HOT_FRAMES = PASS_FRAMES;            // every pass reads the same frames
constexpr int STREAM_FRAMES = 1 << 21;             // 8 MB per channel: 128 MB of stereo sources
constexpr size_t SWEEP_BYTES = size_t{256} << 20;

LoadedSound make_source(int frames, int channels, int seed) {
    const size_t floats = static_cast<size_t>(frames);
    float *block = static_cast<float *>(aligned_alloc16(floats * channels * sizeof(float)));
    for (size_t i = 0; i < floats * channels; ++i) {
        block[i] = static_cast<float>(((i * 2654435761u + seed * 40503u) >> 7) % 60000) - 30000.0f;
    }
    return LoadedSound{44000, frames, channels, 0, block, channels == 2 ? block + floats : nullptr};
}

struct SourceSet {
    LoadedSound sounds[VOICES];
};

// Sources are made once per shape and kept for the whole run.
SourceSet &sources(bool streaming, int channels) {
    static std::map<int, SourceSet> made;
    const int key = (streaming ? 10 : 0) + channels;
    auto found = made.find(key);
    if (found != made.end()) return found->second;
    SourceSet &set = made[key];
    for (int v = 0; v < VOICES; ++v) set.sounds[v] = make_source(streaming ? STREAM_FRAMES : HOT_FRAMES, channels, v + key);
    return set;
}

MixerContext *bench_context() {
    static MixerContext *context = nullptr;
    if (!context) {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        context = mixer_create(VOICES);
        if (!context) {
            std::fprintf(stderr, "no audio device: %s\n", SDL_GetError());
            std::exit(1);
        }
        SDL_PauseAudio(1);  // the benchmark empties the ring itself
    }
    return context;
}

void set_frame_counter(benchmark::State &state) {
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * PASS_FRAMES,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The mixer's own pass (lock, SSE mixing, conversion, ring push).
void BM_MixPass(benchmark::State &state, bool streaming, int channels) {
    MixerContext *context = bench_context();
    mixer_stop_all(context);
    SourceSet &set = sources(streaming, channels);
    for (LoadedSound &sound : set.sounds) mixer_play(context, SoundTemplate{1, 0.7f, 0.7f, 0.5f, &sound});
    for (auto _ : state) {
        context->read_index.store(context->write_index.load());
        mixer_mix(context);
        benchmark::ClobberMemory();
    }
    set_frame_counter(state);
    mixer_stop_all(context);
}

// The same work as a plain loop, frame by frame, as one would first write it;
// this file is compiled at -O3 (see CMakeLists.txt), where the compiler
// vectorises the loop.
struct ScalarVoice {
    const LoadedSound *sound;
    int position;
    float gain_left;
    float gain_right;
};

void scalar_pass(ScalarVoice *voices, float *left, float *right, int16_t *out, uint8_t *ring, int *ring_write) {
    for (int f = 0; f < PASS_FRAMES; ++f) left[f] = right[f] = 0.0f;
    for (int v = 0; v < VOICES; ++v) {
        ScalarVoice &voice = voices[v];
        const float *a = voice.sound->channel0 + voice.position;
        const float *b = voice.sound->channel_count == 2 ? voice.sound->channel1 + voice.position : a;
        for (int f = 0; f < PASS_FRAMES; ++f) {
            left[f] += a[f] * voice.gain_left;
            right[f] += b[f] * voice.gain_right;
        }
        voice.position = (voice.position + PASS_FRAMES) % voice.sound->sample_count;
    }
    for (int f = 0; f < PASS_FRAMES; ++f) {
        long l = lrintf(left[f]);
        long r = lrintf(right[f]);
        out[2 * f] = static_cast<int16_t>(l > 32767 ? 32767 : (l < -32768 ? -32768 : l));
        out[2 * f + 1] = static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
    }
    std::memcpy(ring + *ring_write * 4, out, PASS_FRAMES * 4);
    *ring_write = (*ring_write + PASS_FRAMES) % MIXER_RING_CAPACITY;
}

void BM_ScalarPass(benchmark::State &state, bool streaming, int channels) {
    SourceSet &set = sources(streaming, channels);
    ScalarVoice voices[VOICES];
    for (int v = 0; v < VOICES; ++v) voices[v] = {&set.sounds[v], 0, 0.7f * 0.5f, 0.7f * 0.5f};
    std::vector<float> left(PASS_FRAMES), right(PASS_FRAMES);
    std::vector<int16_t> out(2 * PASS_FRAMES);
    std::vector<uint8_t> ring(MIXER_RING_CAPACITY * 4);
    int ring_write = 0;
    for (auto _ : state) {
        scalar_pass(voices, left.data(), right.data(), out.data(), ring.data(), &ring_write);
        benchmark::ClobberMemory();
    }
    set_frame_counter(state);
}

// Memory read bandwidth: a sweep over a block far larger than any cache.
void BM_ReadSweep(benchmark::State &state) {
    static float *block = nullptr;
    if (!block) {
        block = static_cast<float *>(aligned_alloc16(SWEEP_BYTES));
        for (size_t i = 0; i < SWEEP_BYTES / 4; ++i) block[i] = static_cast<float>(i & 1023);
    }
    for (auto _ : state) {
        __m128 s0 = _mm_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
        for (size_t i = 0; i < SWEEP_BYTES / 4; i += 16) {
            s0 = _mm_add_ps(s0, _mm_load_ps(block + i));
            s1 = _mm_add_ps(s1, _mm_load_ps(block + i + 4));
            s2 = _mm_add_ps(s2, _mm_load_ps(block + i + 8));
            s3 = _mm_add_ps(s3, _mm_load_ps(block + i + 12));
        }
        benchmark::DoNotOptimize(_mm_add_ps(_mm_add_ps(s0, s1), _mm_add_ps(s2, s3)));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(SWEEP_BYTES));
}

void BM_CopySweep(benchmark::State &state) {
    static std::vector<uint8_t> from(SWEEP_BYTES / 2, 1), to(SWEEP_BYTES / 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(from.size()) * 2);
}

// --- The bank ---------------------------------------------------------------

// Seconds per file of the stand-in: short effects, loops of about half a
// minute, cutscene tracks of a few seconds; 136 s of stereo in all.
const double STAND_IN_SECONDS[AUDIO_BANK_SIZE] = {0.3, 0.35, 0.4, 0.25, 0.5, 2.0,  0.6,  1.5,  1.0,  1.2, 1.8,
                                                  0.8, 1.5,  0.8, 0.7,  28,  28,   28,   20,   6,    6,   6};

std::vector<uint8_t> stand_in_sound(int index) {
    const int rate = 44100;
    const int frames = static_cast<int>(STAND_IN_SECONDS[index] * rate);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    uint32_t noise = 12345u + index;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double note = 110.0 * std::pow(2.0, ((i / (rate / 4)) * 5 + index) % 24 / 12.0);
        double v = 0;
        for (int h = 1; h <= 4; ++h) v += std::sin(2 * 3.14159265358979323846 * note * h * t) / h;
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.2;
        samples[2 * i] = static_cast<int16_t>(7000 * v + 3000 * hiss);
        samples[2 * i + 1] = static_cast<int16_t>(6000 * v - 3000 * hiss);
    }
    return dataio_encode_ogg(samples.data(), frames, 2, rate, 0.4f);
}

void free_bank();
std::string bank_source;       // what the summary names
std::string stand_in_path;

bool archive_has_bank() {
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) {
        if (!PHYSFS_exists(audio_bank_path(i))) return false;
    }
    return true;
}

const char *bank_archive = "data.quob";

// Mounts the archive, or a stand-in, once; the first load also gives every
// bank entry its path.
void mount_bank() {
    if (!bank_source.empty()) return;
    const char *archive = bank_archive;
    PHYSFS_init(nullptr);
    if (PHYSFS_mount(archive, nullptr, 1) && archive_has_bank()) {
        bank_source = std::string("the archive ") + archive;
        return;
    }
    PHYSFS_unmount(archive);
    std::fprintf(stderr, "%s is missing or lacks bank files: building a stand-in bank...\n", archive);
    std::vector<ArchiveEntry> entries;
    for (int i = 0; i < AUDIO_BANK_SIZE; ++i) entries.push_back({audio_bank_path(i), stand_in_sound(i)});
    char pattern[] = "/tmp/numbral-bench-bank-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    stand_in_path = pattern;
    std::string error;
    if (!dataio_write_zip(stand_in_path, entries, &error) || !PHYSFS_mount(stand_in_path.c_str(), nullptr, 1)) {
        std::fprintf(stderr, "cannot build the stand-in bank: %s\n", error.c_str());
        std::exit(1);
    }
    bank_source = "a stand-in bank (22 synthetic stereo files, 44100 Hz, 136 s in all; the game's archive was absent)";
}

void prepare_bank() {
    if (!bank_source.empty()) return;
    mount_bank();
    audio_LoadBank();
    free_bank();
}

double decoded_bank_bytes() {
    double bytes = 0;
    for (const AudioBankEntry &entry : audio_bank) {
        bytes += (entry.sound.sample_count + 3) / 4 * 4 * 4.0 * entry.sound.channel_count;
    }
    return bytes;
}

double decoded_bank_seconds() {
    double seconds = 0;
    for (const AudioBankEntry &entry : audio_bank) {
        if (entry.sound.sample_rate > 0) seconds += static_cast<double>(entry.sound.sample_count) / entry.sound.sample_rate;
    }
    return seconds;
}

void free_bank() {
    for (AudioBankEntry &entry : audio_bank) sound_free(&entry.sound);
}

// The whole bank as audio_Init loads it (decoding shared among threads).
void BM_BankLoad(benchmark::State &state) {
    prepare_bank();
    for (auto _ : state) {
        audio_LoadBank();
        state.PauseTiming();
        state.counters["decoded_MB"] = decoded_bank_bytes() / 1e6;
        state.counters["audio_s"] = decoded_bank_seconds();
        free_bank();
        state.ResumeTiming();
    }
}

// The same files one after the other on one thread, for comparison.
void BM_BankLoadOneThread(benchmark::State &state) {
    prepare_bank();
    for (auto _ : state) {
        for (AudioBankEntry &entry : audio_bank) audio_LoadSound(&entry.sound, entry.path ? entry.path : "");
        state.PauseTiming();
        free_bank();
        state.ResumeTiming();
    }
}

// Keeps each run's numbers for the summary of ratios at the end.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Result &r = results[run.benchmark_name()];
            auto frame = run.counters.find("ns_per_frame");
            if (frame != run.counters.end()) r.ns_per_frame = frame->second.value * 1e9;
            auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end()) r.bytes_per_second = bytes->second.value;
            auto decoded = run.counters.find("decoded_MB");
            if (decoded != run.counters.end()) r.decoded_mb = decoded->second.value;
            auto seconds = run.counters.find("audio_s");
            if (seconds != run.counters.end()) r.audio_seconds = seconds->second.value;
            r.ms = run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Result {
        double ns_per_frame = 0, bytes_per_second = 0, decoded_mb = 0, audio_seconds = 0, ms = 0;
    };
    std::map<std::string, Result> results;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) bank_archive = argv[1];

    for (int channels : {1, 2}) {
        const char *shape = channels == 1 ? "mono" : "stereo";
        for (bool streaming : {false, true}) {
            const std::string where = streaming ? "stream" : "hot";
            benchmark::RegisterBenchmark(("MixPass/" + where + "/" + shape).c_str(), BM_MixPass, streaming, channels);
            benchmark::RegisterBenchmark(("ScalarPass/" + where + "/" + shape).c_str(), BM_ScalarPass, streaming, channels);
        }
    }
    benchmark::RegisterBenchmark("ReadSweep", BM_ReadSweep)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CopySweep", BM_CopySweep)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BankLoad", BM_BankLoad)->Unit(benchmark::kMillisecond)->Iterations(8);
    benchmark::RegisterBenchmark("BankLoadOneThread", BM_BankLoadOneThread)->Unit(benchmark::kMillisecond)->Iterations(4);

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto &r = reporter.results;
    std::printf("\nSummary (same run)\n");
    const double read_gbs = r["ReadSweep"].bytes_per_second / 1e9;
    if (read_gbs > 0) {
        std::printf("  read bandwidth %.1f GB/s, copy %.1f GB/s (read + write)\n", read_gbs,
                    r["CopySweep"].bytes_per_second / 1e9);
    }
    for (const char *shape : {"mono", "stereo"}) {
        const double source_bytes = VOICES * 4.0 * (std::strcmp(shape, "mono") == 0 ? 1 : 2);
        for (const char *where : {"hot", "stream"}) {
            const std::string suffix = std::string(where) + "/" + shape;
            const double sse = r["MixPass/" + suffix].ns_per_frame;
            const double plain = r["ScalarPass/" + suffix].ns_per_frame;
            if (sse <= 0 || plain <= 0) continue;
            std::printf("  pass %-13s %6.2f ns/frame, plain loop %6.2f ns/frame: %.2fx the plain loop's time (%.1fx faster)",
                        suffix.c_str(), sse, plain, sse / plain, plain / sse);
            if (std::strcmp(where, "stream") == 0 && read_gbs > 0) {
                const double bound = source_bytes / read_gbs;
                std::printf("; bandwidth bound %.2f ns/frame (%.0f source bytes/frame), %.2fx it", bound,
                            source_bytes, sse / bound);
            }
            std::printf("\n");
        }
    }
    // The table: 8 stereo voices against the plain loop (compiled at -O3,
    // where the compiler vectorises it) and against the memory bound.
    const double hot = r["MixPass/hot/stereo"].ns_per_frame, hot_plain = r["ScalarPass/hot/stereo"].ns_per_frame;
    const double stream = r["MixPass/stream/stereo"].ns_per_frame;
    const double stream_plain = r["ScalarPass/stream/stereo"].ns_per_frame;
    if (hot > 0 && hot_plain > 0) {
        bench_table_add({"mixing pass, 8 stereo voices, sources in cache", bench_format("%.2f ns/frame", hot),
                         bench_format("plain loop at -O3 %.2f ns/frame", hot_plain), hot / hot_plain,
                         "<= 0.5x plain loop", bench_at_most(hot / hot_plain, 0.5)});
    }
    if (stream > 0 && read_gbs > 0) {
        const double bound = VOICES * 4.0 * 2 / read_gbs;
        bench_table_add({"mixing pass, 8 stereo voices, sources streamed from memory",
                         bench_format("%.2f ns/frame (plain loop %.2f)", stream, stream_plain),
                         bench_format("read bandwidth bound %.2f ns/frame (%.1f GB/s)", bound, read_gbs),
                         stream / bound, "<= 1.5x bound", bench_at_most(stream / bound, 1.5)});
    }
    const auto &bank = r["BankLoad/iterations:8"];
    const auto &serial = r["BankLoadOneThread/iterations:4"];
    if (bank.ms > 0) {
        std::printf("  bank from %s:\n", bank_source.c_str());
        std::printf("    load %.1f ms (%.1f s of audio, %.0fx real time), one thread %.1f ms (%.2fx); decoded %.1f MB (%.1f MiB)\n",
                    bank.ms, bank.audio_seconds, bank.audio_seconds * 1000 / bank.ms, serial.ms,
                    serial.ms / bank.ms, bank.decoded_mb, bank.decoded_mb * 1e6 / (1 << 20));
    }
    if (bank.ms > 0) {
        bench_table_add({"sound bank load, in the running program (decoding threads)",
                         bench_format("%.1f ms for %.1f s of audio", bank.ms, bank.audio_seconds),
                         bench_format("one thread %.1f ms", serial.ms), bank.ms / serial.ms, "", VERDICT_NONE});
    }
    if (!stand_in_path.empty()) std::remove(stand_in_path.c_str());
    benchmark::Shutdown();
    return 0;
}
