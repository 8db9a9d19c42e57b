// Archives made by someone else: each case is the fixture archive with one
// member wrong in one way. The real game plays each through numbral-script
// for a few seconds and must reach a defined outcome, without a crash and
// within the memory bound. The Ogg checks and the sound budget behind the
// sound cases are tested directly first.
#include "audio/mixer.h"
#include "audio/ogg_guard.h"
#include "resources/archive.h"
#include "fuzz/fuzz_zip.h"
#include "support/png_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>
#include <thread>

extern char **environ;

namespace {

// ---- Ogg files ------------------------------------------------------------

Bytes encoded_silence(int seconds, int channels) {
    const std::vector<int16_t> silence(static_cast<size_t>(seconds) * 44000 * channels, 0);
    return dataio_encode_ogg(silence.data(), seconds * 44000, channels, 44000, 0.0f);
}

// Silence of about the given length: the encoder's file with one of its
// audio pages of whole packets repeated, so that the file stays small. The
// decoder reads on through the repeated page numbers and positions.
Bytes long_silence(int seconds, int channels) {
    const Bytes file = encoded_silence(20, channels);
    std::vector<size_t> starts = {0};  // of the pages
    for (size_t at = 0; at + 27 < file.size(); starts.push_back(at)) {
        const size_t lacing = at + 27, segments = file[at + 26];
        at = std::accumulate(file.begin() + lacing, file.begin() + lacing + segments, lacing + segments);
    }
    const auto granule = [&](size_t page) {
        int64_t position = 0;
        std::memcpy(&position, &file[starts[page] + 6], 8);
        return position;
    };
    // The second audio page whose packets neither come from the page before
    // nor go on into the next.
    size_t page = 1;
    while (granule(page - 1) == 0 || (file[starts[page] + 5] & 1) || (file[starts[page + 1] + 5] & 1)) ++page;
    Bytes out(file.begin(), file.begin() + starts[page]);
    for (int64_t frames = granule(page - 1); frames < int64_t{seconds} * 44000; frames += granule(page) - granule(page - 1)) {
        out.insert(out.end(), file.begin() + starts[page], file.begin() + starts[page + 1]);
    }
    return out;
}

// Appends a page of whole packets, each laced as a run of 255s ending below
// 255; with `open_end` the last one (a multiple of 255 bytes) goes on in the
// next page. Nothing reads these pages' positions, numbers or checksums.
void ogg_page(Bytes &out, uint8_t flags, const std::vector<Bytes> &packets, bool open_end = false) {
    Bytes lacing, data;
    for (const Bytes &packet : packets) {
        lacing.insert(lacing.end(), packet.size() / 255, 255);
        lacing.push_back(static_cast<uint8_t>(packet.size() % 255));
        data.insert(data.end(), packet.begin(), packet.end());
    }
    if (open_end) lacing.pop_back();
    out.insert(out.end(), {'O', 'g', 'g', 'S', 0, flags});
    out.insert(out.end(), 20, 0);
    out.push_back(static_cast<uint8_t>(lacing.size()));
    out.insert(out.end(), lacing.begin(), lacing.end());
    out.insert(out.end(), data.begin(), data.end());
}

void put_le(Bytes &out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A comment header whose count may differ from the comments given.
Bytes comment_packet(uint32_t vendor_length, const std::string &vendor, uint32_t count,
                     const std::vector<std::string> &comments) {
    Bytes packet = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    put_le(packet, vendor_length);
    packet.insert(packet.end(), vendor.begin(), vendor.end());
    put_le(packet, count);
    for (const std::string &comment : comments) {
        put_le(packet, static_cast<uint32_t>(comment.size()));
        packet.insert(packet.end(), comment.begin(), comment.end());
    }
    packet.push_back(1);
    return packet;
}

// A setup header of one codebook: an ordered run of `run` entries (of
// `entries`) with codewords of `code_length` bits, or with a negative
// length every entry listed with -`code_length` bits; then a lookup table
// of type `lookup` with `values` one-bit values. Vorbis fields go least
// significant bit first.
Bytes setup_packet(uint32_t dimensions, uint32_t entries, uint32_t run, uint32_t lookup, uint32_t values,
                   int code_length = 1) {
    Bytes setup = {5, 'v', 'o', 'r', 'b', 'i', 's'};
    int used = 8;
    const auto bits = [&](uint32_t value, int count) {
        for (int i = 0; i < count; ++i, ++used) {
            if (used == 8) setup.push_back(0), used = 0;
            setup.back() |= static_cast<uint8_t>(((value >> i) & 1) << used);
        }
    };
    bits(0, 8);  // one codebook
    bits(0x564342, 24);
    bits(dimensions, 16);
    bits(entries, 24);
    if (code_length > 0) {
        bits(1, 1);                // ordered,
        bits(code_length - 1, 5);  // from this length
        int width = 0;
        for (uint32_t left = entries; left; left >>= 1) ++width;
        bits(run, width);
    } else {
        bits(0, 2);  // neither ordered nor sparse: each entry's length, here -code_length
        for (uint32_t i = 0; i < entries; ++i) bits(-code_length - 1, 5);
    }
    bits(lookup, 4);
    if (lookup) {
        bits(0, 32), bits(0, 32), bits(0, 4 + 1);  // minimum, delta, one bit a value, no sequence
        for (uint32_t i = 0; i < values; ++i) bits(1, 1);
    }
    return setup;
}

// The encoder's identification page, then the comment and setup headers;
// a comment's first `split` bytes may stand on a page of their own.
Bytes ogg_headers(const Bytes &comment, const Bytes &setup = setup_packet(2, 16, 16, 1, 4), size_t split = 0) {
    const Bytes plain = encoded_silence(1, 1);
    Bytes file(plain.begin(), plain.begin() + 58);
    const auto cut = comment.begin() + static_cast<std::ptrdiff_t>(split);
    if (split) ogg_page(file, 0, {Bytes(comment.begin(), cut)}, true);
    ogg_page(file, split ? 1 : 0, {Bytes(cut, comment.end()), setup});
    return file;
}

// ---- The fixture archive and the game -------------------------------------

Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

std::string repeated(const std::string &line, int count) {
    std::string s;
    while (count-- > 0) s += line;
    return s;
}

const std::string RUNNER = std::string(NUMBRAL_BINARY_DIR) + "/numbral-script";

struct GameRun {
    int exit_status = -1;  // -1: killed by a signal or the time limit
    long long peak_kib = 0;
    std::string out, err;
};

// Runs the script runner on the folder's archive and script, following its
// peak resident memory, which the shared subprocess helper does not report.
// posix_spawn returns once the child runs the program, so the peak is the
// program's own and not this process's.
GameRun run_measured(const TempDir &folder) {
    std::string args[] = {RUNNER, "--archive", folder.file("hostile.quob"), folder.file("case.script")};
    char *argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, folder.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, folder.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.path.c_str());
    GameRun run;
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    // The high-water mark only rises, so polls 2 ms apart see its peak.
    while (waitpid(child, &status, WNOHANG) == 0) {
        std::ifstream proc("/proc/" + std::to_string(child) + "/status");
        for (std::string line; std::getline(proc, line);) {
            if (line.rfind("VmHWM:", 0) == 0) run.peak_kib = std::max(run.peak_kib, std::stoll(line.substr(6)));
        }
        if (std::chrono::steady_clock::now() > deadline) kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(folder.file("out"));
    run.err = read_file(folder.file("err"));
    return run;
}

// The bound for one hostile archive, in every build: under the sanitizers
// the game's peak on these cases is about 105 MB.
constexpr long long MEMORY_BOUND_KIB = 256 * 1024;

// Level 3 for two seconds of running, jumping and shooting.
const std::string PLAY_LEVEL_3 = "level 3\nwait 30\nexpect level == 3\nexpect mode == play\n"
                                 "hold right jump shoot 90\nhold left 30\nexpect level == 3\n";

// Every key of a level file with the extreme values a number field can
// hold, then sane last lines, so that the level can still be played.
std::string extreme_level() {
    std::string s = "title:Extremes\n";
    for (const std::string v : {"-2147483648", "2147483647", "99999999999999999999", "-99999999999999999999", "1e39",
                                "-1e39", "nan", "inf", "-0", "0"}) {
        for (const char *key : {"width", "height", "music", "RearBGframes", "BGframes", "FGframes", "RearBGwidth",
                                "BGwidth", "FGheight", "RearBGfps", "BGfps", "FGfps", "BGHorzScrollSpeed",
                                "FGHorzScrollSpeed"}) {
            s += std::string(key) + ":" + v + "\n";
        }
        const std::string v3 = v + ":" + v + ":" + v;
        s += "entrance:0:" + v3 + "\nsavepoint:" + v3 + "\ndoodad:" + v3 + ":" + v + ":" + v + "\ndoodad:0:" + v +
             ":" + v + ":elevator:" + v + ":" + v + "\nenemy:" + v3 + "\npickup:" + v3 + "\ntrigger:createdoodad:" +
             repeated(v + ":", 7) + v + "\ntrigger:movecamera:" + repeated(v + ":", 5) + v + "\n";
    }
    return s + "width:128\nheight:36\nentrance:0:8:27\ndoodad:-1:0:32:128:4\n";
}

// A zlib stream that claims more than it holds: the first bytes of a
// stored block promising 65535 bytes.
Bytes short_zlib() {
    return zlib_wrap({0, 0xFF, 0xFF, 0x00, 0x00, 1, 2, 3});
}

// A DEFLATE stream of `length` (> 0) zero bytes in one fixed-code block: a
// zero literal, then matches of 258 at distance 1, about 600 times smaller.
Bytes zero_deflate(size_t length) {
    Bytes out;
    int used = 8;
    const auto code = [&](uint32_t value, int n, bool huffman = true) {  // Huffman codes most significant bit first
        for (int i = 0; i < n; ++i, ++used) {
            if (used == 8) out.push_back(0), used = 0;
            out.back() |= static_cast<uint8_t>(((value >> (huffman ? n - 1 - i : i)) & 1u) << used);
        }
    };
    code(1 | 1 << 1, 3, false);  // final block, fixed codes
    code(0x30, 8);               // literal 0
    size_t left = length - 1;
    for (; left >= 258; left -= 258) code(0xC5 << 5, 8 + 5);  // length 258, distance 1
    for (; left > 0; --left) code(0x30, 8);
    code(0, 7);  // end of block
    return out;
}

struct HostileCase {
    const char *name;
    std::string member;  // replaced by (or added as) `bytes`; none when empty
    Bytes bytes;
    std::function<void(Bytes &)> corrupt_zip = nullptr;  // changes or replaces the written ZIP
    std::string script = PLAY_LEVEL_3;
    int status = 0;
    std::string out = "";  // standard output must hold this
};

}  // namespace

// ---- The Ogg checks and the sound budget ------------------------------------

TEST(OggGuard, HeadersThatLieAboutTheirLengthsAreRefusedBeforeDecoding) {
    const Bytes plain = encoded_silence(1, 1);
    const std::string vendor = "numbral tests";
    const std::vector<std::string> comments = {"TITLE=silence", std::string(400, 'c')};
    Bytes lying_comment = comment_packet(13, vendor, 1, {"TITLE=silence"});
    lying_comment[7 + 4 + 13 + 4] = 200;  // the comment's length, 13 before
    const auto book = [&](uint32_t dimensions, uint32_t entries, uint32_t run, uint32_t lookup, uint32_t values,
                          int code_length = 1) {
        return ogg_headers(comment_packet(4, "test", 0, {}),
                           setup_packet(dimensions, entries, run, lookup, values, code_length));
    };
    Bytes three_channels = plain;
    three_channels[28 + 11] = 3;  // the channel count inside the first page
    const struct {
        const char *name;
        Bytes file;
        bool accepted;
    } cases[] = {
        {"the encoder's own file", plain, true},
        // Comments of every length, and a setup header of one small codebook
        // with a lookup table.
        {"comments of every length", ogg_headers(comment_packet(13, vendor, 2, comments)), true},
        {"a comment packet continued on the next page",
         ogg_headers(comment_packet(13, vendor, 2, comments), setup_packet(2, 16, 16, 1, 4), 255), true},
        // The decoder allocates 8 x count bytes, truncated to 32 bits, then
        // walks count entries: 0x20000001 gets 8 bytes and a heap overflow.
        {"a comment count far past the packet", ogg_headers(comment_packet(13, vendor, 0x20000001u, comments)), false},
        {"a comment count one past the comments", ogg_headers(comment_packet(13, vendor, 3, comments)), false},
        {"a vendor length past the packet", ogg_headers(comment_packet(13 + 2000, vendor, 2, comments)), false},
        {"a comment length past the packet", ogg_headers(lying_comment), false},
        {"three channels", three_channels, false},
        // Codebooks: the decoder sizes its tables before reading them, its
        // lookup tables by entries x dimensions truncated to 32 bits.
        {"65536 entries", book(1, 65536, 65536, 0, 0), true},
        {"65537 entries", book(1, 65537, 65537, 0, 0), false},
        {"entries x dimensions of 2^17", book(2, 65536, 65536, 1, 256), true},
        {"entries x dimensions past 2^17", book(3, 65536, 65536, 0, 0), false},
        {"a codebook whose entries do not all come", book(1, 16, 15, 0, 0), false},
        {"a lookup table cut short", book(2, 16, 16, 2, 8), false},  // of 32
        // The decoder masks a codeword with (1 << length) - 1 in an int.
        {"codewords of 30 bits", book(1, 16, 16, 0, 0, 30), true},
        {"codewords of 31 bits", book(1, 16, 16, 0, 0, 31), false},
        {"codewords of 30 bits, listed entry by entry", book(1, 16, 16, 0, 0, -30), true},
        {"codewords of 31 bits, listed entry by entry", book(1, 16, 16, 0, 0, -31), false},
        {"only the first page", Bytes(plain.begin(), plain.begin() + 58), false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ogg_guard_headers_ok(c.file.data(), static_cast<int32_t>(c.file.size())), c.accepted) << c.name;
    }
}

TEST(OggGuard, ASoundAndAllSoundsTogetherStayWithinTheirBounds) {
    const int64_t before = ogg_guard_budget_used();
    // An hour of silence is cut off at the limit for one sound and refused.
    const Bytes hour = long_silence(3600, 2);
    LoadedSound sound = {};
    sound_load_ogg_memory(hour.data(), static_cast<int32_t>(hour.size()), &sound);
    EXPECT_EQ(sound.channel0, nullptr);
    EXPECT_EQ(ogg_guard_budget_used(), before);

    // 80 s of stereo, 7 million samples, is below that limit; two fill the
    // budget, and a third is refused until one of them is released.
    const Bytes long_one = long_silence(80, 2);
    LoadedSound sounds[3] = {};
    for (LoadedSound &s : sounds) sound_load_ogg_memory(long_one.data(), static_cast<int32_t>(long_one.size()), &s);
    EXPECT_NE(sounds[1].channel0, nullptr);
    EXPECT_EQ(sounds[2].channel0, nullptr);
    EXPECT_EQ(ogg_guard_budget_used() - before, int64_t{4} * sounds[0].sample_count);
    sound_free(&sounds[0]);
    sound_load_ogg_memory(long_one.data(), static_cast<int32_t>(long_one.size()), &sounds[2]);
    EXPECT_NE(sounds[2].channel0, nullptr);
    for (LoadedSound &s : sounds) sound_free(&s);
    EXPECT_EQ(ogg_guard_budget_used(), before);
}

// A damaged audio packet decodes to samples far past full scale, where the
// decoder's own 16-bit conversion overflows and can flip their sign.
TEST(OggGuard, SamplesPastFullScaleClampToItWithTheirSign) {
    const std::string file = read_file(NUMBRAL_SOURCE_DIR "/tests/fuzz/sound_seeds/decoder-fault-sample-overflow.ogg");
    const auto *bytes = reinterpret_cast<const uint8_t *>(file.data());
    std::vector<float> floats;
    stb_vorbis *decoder = stb_vorbis_open_memory(bytes, static_cast<int>(file.size()), nullptr, nullptr);
    ASSERT_NE(decoder, nullptr);
    const int channels = stb_vorbis_get_info(decoder).channels;
    float **out = nullptr;
    for (int n; (n = stb_vorbis_get_frame_float(decoder, nullptr, &out)) > 0;) {
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) floats.push_back(out[c][i]);
    }
    stb_vorbis_close(decoder);

    int got_channels = 0, rate = 0;
    short *samples = nullptr;
    const int frames = ogg_guard_decode(bytes, static_cast<int32_t>(file.size()), &got_channels, &rate, &samples);
    ASSERT_EQ(int64_t{frames} * got_channels, static_cast<int64_t>(floats.size()));
    int wild_negative = 0;
    for (size_t i = 0; i < floats.size(); ++i) {
        if (floats[i] <= -2.0f) ++wild_negative;
        if (floats[i] <= -1.0f) {
            EXPECT_EQ(samples[i], -32768) << floats[i];
        } else if (floats[i] >= 1.0f) {
            EXPECT_EQ(samples[i], 32767) << floats[i];
        }
    }
    EXPECT_GT(wild_negative, 0);
    std::free(samples);
    ogg_guard_release(int64_t{frames} * got_channels);
}

// ---- The game on hostile archives -----------------------------------------

TEST(HostileArchive, EachWrongMemberGivesADefinedOutcomeWithinTheMemoryBound) {
    if (!path_exists(NUMBRAL_FIXTURE_ARCHIVE)) GTEST_SKIP() << "no fixture archive in this build";
    ASSERT_TRUE(path_exists(RUNNER)) << RUNNER;
    const std::string rear = "img/level3-rear.png", level = "data/level3.txt";
    std::vector<ArchiveEntry> fixture;
    std::string level3;
    mount_fixture_archive();
    for (const std::string folder : {"data", "img", "snd"}) {
        char **names = PHYSFS_enumerateFiles(folder.c_str());
        for (char **name = names; *name; ++name) {
            int32_t length = 0;
            uint8_t *bytes = archive_read_file((folder + "/" + *name).c_str(), &length);
            fixture.push_back({folder + "/" + *name, Bytes(bytes, bytes + length)});
            if (fixture.back().path == level) level3.assign(bytes, bytes + length);
            std::free(bytes);
        }
        PHYSFS_freeList(names);
    }
    unmount_test_archives();
    ASSERT_FALSE(level3.empty());
    const std::string missing_sound = "audio_LoadSound > filename doesn't exist: snd/shoot0.ogg\n";
    // The fixture with the level file replaced by 300 MB of zeros deflated
    // into 2 MB, as a file or as a symbolic link to a name of that length.
    const auto zeros_as_level = [&](bool link) {
        return [&, link](Bytes &zip) {
            const uint32_t inflated = 300u << 20;
            const Bytes zeros = zero_deflate(inflated);
            uint8_t *plain = static_cast<uint8_t *>(std::calloc(inflated, 1));
            std::vector<FuzzMember> members;
            for (const ArchiveEntry &entry : fixture) {
                if (entry.path != level) members.push_back({entry.path, entry.bytes.data(), entry.bytes.size()});
            }
            members.push_back({level, zeros.data(), zeros.size(), true, inflated, fuzz_crc32(plain, inflated), link});
            std::free(plain);
            zip = fuzz_stored_zip(members);
        };
    };
    const HostileCase cases[] = {
        // The archive itself.
        {"truncated ZIP", "", {}, [](Bytes &zip) { zip.resize(zip.size() / 2); }, PLAY_LEVEL_3, 1, missing_sound},
        {"a member's compressed bytes overwritten", "", {},
         [](Bytes &zip) {
             // The level picture's deflated bytes, found by its local header.
             const size_t at = std::string(zip.begin(), zip.end()).find("img/level4.png") - 30;
             const size_t data = at + 30 + 14 + (zip[at + 28] | zip[at + 29] << 8);
             std::fill(zip.begin() + data + 4, zip.begin() + std::min(data + 64, zip.size()), 0xFF);
         },
         "level 4\nwait 60\nexpect level == 4\n"},
        // Pictures.
        {"a layer claiming a width of 2^31 - 2", rear,
         png_file({ihdr_chunk(0x7FFFFFFE, 1, 6), {"IDAT", short_zlib()}, {"IEND", {}}})},
        {"a layer claiming 16384 x 8192 with almost no data", rear,
         png_file({ihdr_chunk(16384, 8192, 6), {"IDAT", short_zlib()}, {"IEND", {}}})},
        {"a layer of 16384 x 8191 pixels in a 3 MB file", rear,
         png_file({ihdr_chunk(16384, 8191, 6), {"IDAT", zlib_wrap(zero_deflate(size_t{8191} * (1 + 16384 * 4)))}})},
        {"a zero-byte sheet", "img/enemies.png", {}},
        {"a sheet that is not a PNG", "img/doodads.png", text("GIF89a, not a PNG")},
        // Level files.
        {"a level of 16384 x 16384 pixels", level, text(level3 + "width:16384\nheight:16384\n")},
        {"a layer said to be 2,000,000 pixels high", level, text(level3 + "RearBGheight:2000000\n")},
        {"a level file of 300 MB of zeros in 2 MB", "", {}, zeros_as_level(false)},
        {"a level file that is a link to a 300 MB name", "", {}, zeros_as_level(true)},
        {"a level of 10,000 lines", level, text(level3 + repeated("doodad:0:20:20\n", 10000))},
        {"a single line of 1 MB", level, text("title:" + std::string(1 << 20, 'T') + "\n" + level3)},
        {"50 triggers", level, text(repeated("trigger:createdoodad:40:10:4:4:0:0:128:36\n", 50) + level3)},
        {"negative and huge numbers in every field", level, text(extreme_level())},
        // Cutscenes: the opening one, which the game starts by itself.
        {"a cutscene with fps 0 and frames -5", "data/cutscene1.txt", text("frames:-5\nfps:0\ntarget:level:3:0\n"),
         nullptr, "wait 120\nexpect mode == cutscene\nhold jump 70\nexpect mode == play\nexpect level == 3\nwait 30\n"},
        {"a cutscene target naming a missing level", "data/cutscene1.txt", text("frames:2\ntarget:level:77:0\n"),
         nullptr, "until mode == play 100\nexpect level == 77\nhold right jump 60\nexpect level == 77\n"},
        // Sounds.
        {"an Ogg that does not decode", "snd/jump0.ogg", text("OggS but nothing else")},
        {"an Ogg whose comment count lies", "snd/shoot0.ogg", ogg_headers(comment_packet(4, "lies", 0x20000001u, {}))},
        {"an Ogg of an hour of silence", "snd/music1.ogg", long_silence(3600, 2)},
    };
    for (const HostileCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        std::vector<ArchiveEntry> entries = fixture;
        auto same = std::find_if(entries.begin(), entries.end(), [&](const ArchiveEntry &e) { return e.path == c.member; });
        if (same != entries.end()) same->bytes = c.bytes;
        else if (!c.member.empty()) entries.push_back({c.member, c.bytes});
        std::string error;
        ASSERT_TRUE(dataio_write_zip(folder.file("hostile.quob"), entries, &error)) << error;
        if (c.corrupt_zip) {
            const std::string zip = read_file(folder.file("hostile.quob"));
            Bytes bytes(zip.begin(), zip.end());
            c.corrupt_zip(bytes);
            write_file(folder.file("hostile.quob"), std::string(bytes.begin(), bytes.end()));
        }
        write_file(folder.file("case.script"), c.script);
        const GameRun run = run_measured(folder);
        std::printf("%-52s status %d, peak %6lld KiB\n", c.name, run.exit_status, run.peak_kib);
        EXPECT_EQ(run.exit_status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_LT(run.peak_kib, MEMORY_BOUND_KIB);
    }
}
