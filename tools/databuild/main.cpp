// numbral-databuild CONTENT_FOLDER ARCHIVE: builds the game's data archive
// from its readable sources. Messages go to standard error; the exit status
// is 1 when the content holds errors (nothing is written then).
//
// numbral-databuild --wav NAME OUT.wav [TIMES]: renders one sound of the bank
// (content/sounds/NAME.snd or .ogg, looked for in the current folder and the
// folders above it, or a .snd/.ogg file given by its path) into a WAV file
// to listen to; TIMES plays it that many times in a row, to hear a loop's
// seam.
#include "databuild.h"
#include "layouts.h"
#include "source.h"
#include "synth.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

static int usage() {
    std::fprintf(stderr,
                 "usage: numbral-databuild CONTENT_FOLDER ARCHIVE\n"
                 "       numbral-databuild --wav NAME|FILE.snd OUT.wav [TIMES]\n");
    return 2;
}

// The source of a sound: a path as given, or NAME in content/sounds of the
// current folder or one above it.
static std::string find_sound(const std::string &name) {
    const fs::path given(name);
    if (given.has_parent_path() || given.extension() == ".snd" || given.extension() == ".ogg") return name;
    std::error_code error;
    fs::path folder = fs::current_path(error);
    for (int up = 0; up < 6 && !folder.empty(); ++up, folder = folder.parent_path()) {
        for (const char *extension : {".snd", ".ogg"}) {
            const fs::path candidate = folder / "content" / "sounds" / (name + extension);
            if (fs::is_regular_file(candidate, error)) return candidate.string();
        }
        if (folder == folder.parent_path()) break;
    }
    return "";
}

static void put_le(std::string *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

static bool write_wav(const std::string &path, const Pcm &pcm, int times) {
    const uint32_t data_bytes = static_cast<uint32_t>(pcm.samples.size() * 2 * times);
    std::string bytes = "RIFF";
    put_le(&bytes, 36 + data_bytes, 4);
    bytes += "WAVEfmt ";
    put_le(&bytes, 16, 4);
    put_le(&bytes, 1, 2);  // integer samples
    put_le(&bytes, static_cast<uint32_t>(pcm.channels), 2);
    put_le(&bytes, SOUND_RATE, 4);
    put_le(&bytes, static_cast<uint32_t>(SOUND_RATE * pcm.channels * 2), 4);
    put_le(&bytes, static_cast<uint32_t>(pcm.channels * 2), 2);
    put_le(&bytes, 16, 2);
    bytes += "data";
    put_le(&bytes, data_bytes, 4);
    for (int t = 0; t < times; ++t) {
        for (int16_t sample : pcm.samples) put_le(&bytes, static_cast<uint16_t>(sample), 2);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

static bool decode_ogg(const std::string &path, Pcm *pcm) {
    std::string data;
    if (!source_read_file(path, &data)) return false;
    int channels = 0, rate = 0;
    short *samples = nullptr;
    const int frames = stb_vorbis_decode_memory(reinterpret_cast<const unsigned char *>(data.data()), static_cast<int>(data.size()),
                                                &channels, &rate, &samples);
    if (frames <= 0) {
        diag_error(path, 0, "is not an Ogg Vorbis file that decodes");
        return false;
    }
    pcm->channels = channels;
    pcm->frames = frames;
    pcm->samples.assign(samples, samples + static_cast<size_t>(frames) * channels);
    std::free(samples);
    if (rate != SOUND_RATE) diag_warning(path, 0, "plays at " + std::to_string(rate) + " frames per second, not 44000");
    return true;
}

static int render_wav(int argc, char **argv) {
    if (argc < 4 || argc > 5) return usage();
    int times = 1;
    if (argc == 5) {
        int32_t value = 0;
        if (!source_int(argv[4], &value) || value < 1 || value > 16) {
            std::fprintf(stderr, "numbral-databuild: TIMES runs from 1 to 16, not %s\n", argv[4]);
            return 2;
        }
        times = value;
    }
    const std::string source = find_sound(argv[2]);
    if (source.empty()) {
        std::fprintf(stderr, "numbral-databuild: no content/sounds/%s.snd or .ogg here or in a folder above\n", argv[2]);
        return 1;
    }
    diag_reset();
    Pcm pcm;
    const bool rendered = fs::path(source).extension() == ".ogg" ? decode_ogg(source, &pcm) : synth_build(source, &pcm);
    for (const std::string &message : diagnostics.messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (!rendered) return 1;
    if (!write_wav(argv[3], pcm, times)) {
        std::fprintf(stderr, "numbral-databuild: cannot write %s\n", argv[3]);
        return 1;
    }
    const double seconds = static_cast<double>(pcm.frames) / SOUND_RATE;
    std::printf("%s: %.3f s, %s%s; %s written%s\n", source.c_str(), seconds, pcm.channels == 2 ? "stereo" : "mono",
                pcm.looped ? ", loops" : "", argv[3], times > 1 ? (" (" + std::to_string(times) + " times)").c_str() : "");
    return 0;
}

int main(int argc, char **argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--wav") == 0) return render_wav(argc, argv);
    if (argc != 3 || std::strcmp(argv[1], "--help") == 0) return usage();
    diag_reset();
    const bool ok = databuild_write(argv[1], argv[2]);
    for (const std::string &message : diagnostics.messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (!ok) {
        std::fprintf(stderr, "numbral-databuild: %d error%s; %s was not written\n", diagnostics.errors,
                     diagnostics.errors == 1 ? "" : "s", argv[2]);
        return 1;
    }
    return 0;
}
