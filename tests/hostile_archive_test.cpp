// Archives made by someone else: each case is the fixture archive with one
// member wrong in one way. The real game plays each through numbral-script
// for a few seconds and must reach a defined outcome, without a crash and
// within the memory bound. The Ogg checks and the sound budget behind the
// sound cases are tested directly first.
#include "audio/mixer.h"
#include "audio/ogg_guard.h"
#include "fuzz/fuzz_zip.h"
#include "support/png_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Ogg pages ------------------------------------------------------------

struct OggPage {
    uint8_t flags = 0;
    int64_t granule = 0;
    std::vector<uint8_t> lacing;
    Bytes data;
};

uint32_t ogg_crc(const Bytes &page) {
    uint32_t crc = 0;
    for (uint8_t byte : page) {
        crc ^= static_cast<uint32_t>(byte) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::vector<OggPage> ogg_pages(const Bytes &file) {
    std::vector<OggPage> pages;
    size_t at = 0;
    while (at + 27 <= file.size() && std::memcmp(&file[at], "OggS", 4) == 0) {
        OggPage page;
        page.flags = file[at + 5];
        for (int i = 7; i >= 0; --i) page.granule = page.granule << 8 | file[at + 6 + i];
        const int segments = file[at + 26];
        page.lacing.assign(file.begin() + at + 27, file.begin() + at + 27 + segments);
        size_t length = 0;
        for (uint8_t l : page.lacing) length += l;
        const size_t data = at + 27 + segments;
        page.data.assign(file.begin() + data, file.begin() + data + length);
        pages.push_back(page);
        at = data + length;
    }
    return pages;
}

// The pages again, numbered in order, with their checksums.
Bytes ogg_file(const std::vector<OggPage> &pages) {
    Bytes file;
    uint32_t sequence = 0;
    for (const OggPage &page : pages) {
        Bytes bytes = {'O', 'g', 'g', 'S', 0, page.flags};
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(page.granule >> (8 * i)));
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(0x5EED >> (8 * i)));
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(sequence >> (8 * i)));
        bytes.insert(bytes.end(), 4, 0);
        bytes.push_back(static_cast<uint8_t>(page.lacing.size()));
        bytes.insert(bytes.end(), page.lacing.begin(), page.lacing.end());
        bytes.insert(bytes.end(), page.data.begin(), page.data.end());
        const uint32_t crc = ogg_crc(bytes);
        for (int i = 0; i < 4; ++i) bytes[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
        file.insert(file.end(), bytes.begin(), bytes.end());
        ++sequence;
    }
    return file;
}

// A page made of whole packets, each a run of 255s ending below 255.
OggPage packets_page(uint8_t flags, const std::vector<Bytes> &packets) {
    OggPage page;
    page.flags = flags;
    for (const Bytes &packet : packets) {
        size_t left = packet.size();
        while (left >= 255) {
            page.lacing.push_back(255);
            left -= 255;
        }
        page.lacing.push_back(static_cast<uint8_t>(left));
        page.data.insert(page.data.end(), packet.begin(), packet.end());
    }
    return page;
}

Bytes encoded_silence(int seconds, int channels, int rate) {
    const std::vector<int16_t> silence(static_cast<size_t>(seconds) * rate * channels, 0);
    return dataio_encode_ogg(silence.data(), seconds * rate, channels, rate, 0.0f);
}

// Silence of the given length, made by repeating one whole-packet audio page
// of a short encoding with its granule positions carried on, so that the
// file stays small and says how long it is.
Bytes long_silence(int64_t seconds, int channels, int rate) {
    std::vector<OggPage> pages = ogg_pages(encoded_silence(20, channels, rate));
    // The headers end where the granule positions begin.
    size_t first_audio = 0;
    while (first_audio < pages.size() && pages[first_audio].granule == 0) ++first_audio;
    size_t repeat = first_audio + 1;
    while (repeat + 1 < pages.size() &&
           ((pages[repeat].flags & 1) || (pages[repeat + 1].flags & 1) || pages[repeat].lacing.back() == 255)) {
        ++repeat;
    }
    EXPECT_LT(repeat + 1, pages.size()) << "no whole-packet page to repeat";
    // The repeated page adds its frames again with every copy.
    const int64_t step = pages[repeat].granule - pages[repeat - 1].granule;
    const int64_t copies = std::max<int64_t>(1, (seconds * rate - pages.back().granule) / step + 1);
    std::vector<OggPage> out(pages.begin(), pages.begin() + static_cast<std::ptrdiff_t>(repeat));
    int64_t granule = pages[repeat - 1].granule;
    for (int64_t i = 0; i < copies; ++i) {
        OggPage page = pages[repeat];
        page.granule = granule += step;
        out.push_back(page);
    }
    for (size_t i = repeat + 1; i < pages.size(); ++i) {
        OggPage page = pages[i];
        page.granule = granule += pages[i].granule - pages[i - 1].granule;
        out.push_back(page);
    }
    return ogg_file(out);
}

void put_u32(Bytes &out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A comment header: the vendor, the comments, the framing bit; the count
// written may differ from the comments given.
Bytes comment_packet(uint32_t vendor_length, const std::string &vendor, uint32_t count,
                     const std::vector<std::string> &comments) {
    Bytes packet = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    put_u32(packet, vendor_length);
    packet.insert(packet.end(), vendor.begin(), vendor.end());
    put_u32(packet, count);
    for (const std::string &comment : comments) {
        put_u32(packet, static_cast<uint32_t>(comment.size()));
        packet.insert(packet.end(), comment.begin(), comment.end());
    }
    packet.push_back(1);
    return packet;
}

// A real file whose comment header is replaced; the identification page and
// the setup header behind the comments are the encoder's.
Bytes with_comment(const Bytes &comment, bool split_across_pages = false) {
    std::vector<OggPage> pages = ogg_pages(encoded_silence(1, 1, 44000));
    // Page 1 holds the comment and setup headers: take the setup packet out.
    const OggPage &headers = pages[1];
    size_t at = 0, lace = 0;
    while (headers.lacing[lace] == 255) at += headers.lacing[lace++];
    at += headers.lacing[lace++];  // the end of the comment packet
    const Bytes setup(headers.data.begin() + static_cast<std::ptrdiff_t>(at), headers.data.end());
    std::vector<OggPage> out = {pages[0]};
    if (split_across_pages) {
        // The first 255 bytes on a page of their own, the rest continued.
        OggPage first;
        first.lacing = {255};
        first.data.assign(comment.begin(), comment.begin() + 255);
        out.push_back(first);
        OggPage rest = packets_page(1, {Bytes(comment.begin() + 255, comment.end()), setup});
        out.push_back(rest);
    } else {
        out.push_back(packets_page(0, {comment, setup}));
    }
    out.insert(out.end(), pages.begin() + 2, pages.end());
    return ogg_file(out);
}

// Vorbis fields, least significant bit first.
struct BitWriter {
    Bytes bytes;
    int used = 8;
    void put(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << used++);
        }
    }
};

// A setup header of one codebook: one ordered run of `run` entries of
// length 1 (of `entries`), then a lookup table of `lookup` with one-bit values.
Bytes one_codebook_setup(uint32_t dimensions, uint32_t entries, uint32_t run, uint32_t lookup, uint32_t values) {
    BitWriter bits;
    bits.put(0, 8);  // one codebook
    bits.put(0x564342, 24);
    bits.put(dimensions, 16);
    bits.put(entries, 24);
    bits.put(1, 1);  // ordered
    bits.put(0, 5);  // from length 1
    int width = 0;
    for (uint32_t left = entries; left; left >>= 1) ++width;
    bits.put(run, width);
    bits.put(lookup, 4);
    if (lookup) {
        bits.put(0, 32);
        bits.put(0, 32);
        bits.put(0, 4);  // one bit a value
        bits.put(0, 1);
        for (uint32_t i = 0; i < values; ++i) bits.put(1, 1);
    }
    Bytes packet = {5, 'v', 'o', 'r', 'b', 'i', 's'};
    packet.insert(packet.end(), bits.bytes.begin(), bits.bytes.end());
    return packet;
}

// The encoder's identification page with a comment and the given setup.
Bytes with_setup(const Bytes &setup) {
    std::vector<OggPage> pages = ogg_pages(encoded_silence(1, 1, 44000));
    return ogg_file({pages[0], packets_page(0, {comment_packet(4, "test", 0, {}), setup})});
}

// ---- The fixture archive and the game -------------------------------------

std::vector<ArchiveEntry> fixture_entries() {
    mount_fixture_archive();
    std::vector<ArchiveEntry> entries;
    std::function<void(const std::string &)> walk = [&](const std::string &folder) {
        char **names = PHYSFS_enumerateFiles(folder.c_str());
        for (char **name = names; name && *name; ++name) {
            const std::string path = folder.empty() ? *name : folder + "/" + *name;
            PHYSFS_Stat stat;
            if (PHYSFS_stat(path.c_str(), &stat) && stat.filetype == PHYSFS_FILETYPE_DIRECTORY) {
                walk(path);
                continue;
            }
            PHYSFS_File *file = PHYSFS_openRead(path.c_str());
            Bytes bytes(static_cast<size_t>(PHYSFS_fileLength(file)));
            PHYSFS_readBytes(file, bytes.data(), bytes.size());
            PHYSFS_close(file);
            entries.push_back({path, bytes});
        }
        PHYSFS_freeList(names);
    };
    walk("");
    unmount_test_archives();
    return entries;
}

void put(std::vector<ArchiveEntry> &entries, const std::string &path, const Bytes &bytes) {
    for (ArchiveEntry &entry : entries) {
        if (entry.path == path) {
            entry.bytes = bytes;
            return;
        }
    }
    entries.push_back({path, bytes});
}

Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

std::string member_text(const std::vector<ArchiveEntry> &entries, const std::string &path) {
    for (const ArchiveEntry &entry : entries) {
        if (entry.path == path) return std::string(entry.bytes.begin(), entry.bytes.end());
    }
    return "";
}

struct GameRun {
    int exit_status = -1;  // -1: killed by a signal or the time limit
    int64_t peak_kib = 0;  // the largest resident set seen
    std::string out, err;
};

// The high-water mark of the process's resident memory in KiB, once it runs
// `name` (before its exec the child is a copy of this process, whose own
// memory must not count), or -1.
int64_t resident_peak_kib(pid_t pid, const std::string &name) {
    std::FILE *status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status) return -1;
    char line[256];
    bool running_it = false;
    int64_t peak = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "Name:", 5) == 0) running_it = std::strstr(line, name.substr(0, 15).c_str()) != nullptr;
        long long kib = 0;
        if (running_it && std::sscanf(line, "VmHWM: %lld kB", &kib) == 1) peak = kib;
    }
    std::fclose(status);
    return peak;
}

// Runs the program and follows its peak resident memory, which the shared
// subprocess helper does not report. The kernel's figure for a finished
// child (wait4) would include what this process held when it forked.
GameRun run_measured(const std::vector<std::string> &arguments, const TempDir &folder, int timeout_seconds) {
    std::vector<std::string> strings = arguments;
    std::vector<char *> argv;
    for (std::string &s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string out_path = folder.file("stdout"), err_path = folder.file("stderr");
    const std::string name = arguments[0].substr(arguments[0].rfind('/') + 1);
    GameRun run;
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(folder.path.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    int status = 0;
    bool killed = false;
    // The mark only rises, so a poll after the peak sees it; polls are
    // 2 ms apart.
    while (waitpid(child, &status, WNOHANG) == 0) {
        run.peak_kib = std::max(run.peak_kib, resident_peak_kib(child, name));
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.exit_status = (!killed && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    return run;
}

// The bound for one hostile archive, in every build: under the sanitizers
// the game's peak on these cases is about 105 MB.
constexpr int64_t MEMORY_BOUND_KIB = 256 * 1024;

const std::string RUNNER = std::string(NUMBRAL_BINARY_DIR) + "/numbral-script";

// Level 3 for two seconds of running, jumping and shooting.
const char PLAY_LEVEL_3[] =
    "level 3\n"
    "wait 30\n"
    "expect level == 3\n"
    "expect mode == play\n"
    "hold right jump shoot 90\n"
    "hold left 30\n"
    "expect level == 3\n";

std::string repeated(const std::string &line, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += line;
    return s;
}

// Every key of a level file with the extreme values a number field can
// hold, written as text.
std::string extreme_level() {
    const char *const values[] = {"-2147483648", "2147483647", "99999999999999999999", "-99999999999999999999",
                                  "1e39", "-1e39", "nan", "inf", "-0", "0"};
    const char *const keys[] = {"width", "height", "music", "RearBGframes", "BGframes", "FGframes",
                                "RearBGwidth", "BGwidth", "FGheight", "RearBGfps", "BGfps", "FGfps",
                                "BGHorzScrollSpeed", "FGHorzScrollSpeed"};
    std::string s = "title:Extremes\n";
    for (const char *value : values) {
        const std::string v = value;
        for (const char *key : keys) s += std::string(key) + ":" + v + "\n";
        s += "entrance:0:" + v + ":" + v + ":" + v + "\n";
        s += "savepoint:" + v + ":" + v + ":" + v + "\n";
        s += "doodad:" + v + ":" + v + ":" + v + ":" + v + ":" + v + "\n";
        s += "doodad:0:" + v + ":" + v + ":elevator:" + v + ":" + v + "\n";
        s += "enemy:" + v + ":" + v + ":" + v + "\n";
        s += "pickup:" + v + ":" + v + ":" + v + "\n";
        s += "trigger:createdoodad:" + repeated(v + ":", 7) + v + "\n";
        s += "trigger:movecamera:" + repeated(v + ":", 5) + v + "\n";
    }
    // Sane last lines, so that the level can still be drawn and played.
    return s + "width:128\nheight:36\nentrance:0:8:27\ndoodad:-1:0:32:128:4\n";
}

// A zlib stream that claims more than it holds: the first bytes of a
// stored block promising 65535 bytes.
Bytes short_zlib() {
    return zlib_wrap({0, 0xFF, 0xFF, 0x00, 0x00, 1, 2, 3});
}

// A DEFLATE stream of `length` zero bytes in one fixed-code block: a zero
// literal, then matches of 258 at distance 1, about 600 times smaller.
Bytes zero_deflate(size_t length) {
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {  // least significant bit first
        for (int i = 0; i < n; ++i) {
            bits |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                out.push_back(static_cast<uint8_t>(bits));
                bits = 0;
                count = 0;
            }
        }
    };
    auto code = [&](uint32_t value, int n) {  // Huffman codes go most significant bit first
        for (int i = n - 1; i >= 0; --i) put((value >> i) & 1u, 1);
    };
    put(1, 1);  // final block
    put(1, 2);  // fixed codes
    size_t left = length;
    if (left > 0) {
        code(0x30, 8);  // literal 0
        --left;
    }
    for (; left >= 258; left -= 258) {
        code(0xC5, 8);  // length 258
        code(0, 5);     // distance 1
    }
    for (; left > 0; --left) code(0x30, 8);
    code(0, 7);  // end of block
    if (count > 0) out.push_back(static_cast<uint8_t>(bits));
    return out;
}

// The CRC-32 of `length` zero bytes.
uint32_t zeros_crc32(size_t length) {
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) crc = table[crc & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// The fixture's members stored, and one member of `inflated` zero bytes
// deflated into a few megabytes.
Bytes archive_with_deflated_zeros(const std::vector<ArchiveEntry> &entries, const std::string &path,
                                  uint32_t inflated) {
    const Bytes zeros = zero_deflate(inflated);
    std::vector<FuzzMember> members;
    for (const ArchiveEntry &entry : entries) {
        if (entry.path != path) members.push_back({entry.path, entry.bytes.data(), entry.bytes.size()});
    }
    members.push_back({path, zeros.data(), zeros.size(), true, inflated, zeros_crc32(inflated)});
    return fuzz_stored_zip(members);
}

struct HostileCase {
    const char *name;
    std::function<void(std::vector<ArchiveEntry> &)> change;
    std::function<void(Bytes &)> corrupt_zip;  // applied to the written ZIP's bytes, or writes it
    std::string script;
    int status;
    std::string out;  // standard output must hold this
};

}  // namespace

// ---- The Ogg checks and the sound budget ------------------------------------

TEST(OggGuard, HeadersThatLieAboutTheirLengthsAreRefusedBeforeDecoding) {
    const Bytes plain = encoded_silence(1, 1, 44000);
    const std::string vendor = "numbral tests";
    const std::vector<std::string> comments = {"TITLE=silence", std::string(400, 'c')};
    struct Case {
        const char *name;
        Bytes file;
        bool accepted;
    };
    Bytes lying_comment = comment_packet(13, vendor, 1, {"TITLE=silence"});
    lying_comment[7 + 4 + 13 + 4] = 200;  // the comment's length, 13 before
    Bytes three_channels = plain;
    three_channels[28 + 11] = 3;  // the channel count inside the first page
    const Case cases[] = {
        {"the encoder's own file", plain, true},
        {"comments of every length", with_comment(comment_packet(13, vendor, 2, comments)), true},
        {"a comment packet continued on the next page", with_comment(comment_packet(13, vendor, 2, comments), true),
         true},
        // The decoder allocates 8 x count bytes, truncated to 32 bits, then
        // walks count entries: 0x20000001 gets 8 bytes and a heap overflow,
        // 0x40000000 gets none and a null pointer walked on the way out.
        {"a comment count far past the packet", with_comment(comment_packet(13, vendor, 0x20000001u, comments)),
         false},
        {"a comment count whose list wraps to nothing",
         with_comment(comment_packet(13, vendor, 0x40000000u, comments)), false},
        {"a vendor length past the packet", with_comment(comment_packet(0xFFFFFFFFu, vendor, 2, comments)), false},
        {"a vendor length one past the packet", with_comment(comment_packet(13 + 2000, vendor, 2, comments)), false},
        {"a comment count one past the comments", with_comment(comment_packet(13, vendor, 3, comments)), false},
        {"a comment length past the packet", with_comment(lying_comment), false},
        {"three channels", three_channels, false},
        // Codebooks: the decoder sizes its tables before reading them.
        {"a small codebook with a lookup table", with_setup(one_codebook_setup(2, 16, 16, 1, 4)), true},
        {"65536 entries", with_setup(one_codebook_setup(1, 65536, 65536, 0, 0)), true},
        {"65537 entries", with_setup(one_codebook_setup(1, 65537, 65537, 0, 0)), false},
        {"entries x dimensions of 2^17", with_setup(one_codebook_setup(2, 65536, 65536, 1, 256)), true},
        // The decoder's residue tables take entries x dimensions bytes, its
        // lookup tables entries x dimensions floats in a size truncated to
        // 32 bits: both far past 2^17 from a few bytes here.
        {"entries x dimensions past 2^17", with_setup(one_codebook_setup(3, 65536, 65536, 0, 0)), false},
        {"a lookup table of 17 x 65536 values", with_setup(one_codebook_setup(17, 65536, 65536, 1, 1)), false},
        {"a codebook whose entries do not all come", with_setup(one_codebook_setup(1, 16, 15, 0, 0)), false},
        {"a lookup table cut short", with_setup(one_codebook_setup(2, 16, 16, 2, 8)), false},  // of 32
        {"only the first page", Bytes(plain.begin(), plain.begin() + 58), false},
        {"nothing", Bytes(), false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ogg_guard_headers_ok(c.file.data(), static_cast<int32_t>(c.file.size())), c.accepted) << c.name;
    }
}

TEST(OggGuard, ASoundAndAllSoundsTogetherStayWithinTheirBounds) {
    // Decoded the same as the decoder's whole-file call.
    const std::vector<int16_t> tone = [] {
        std::vector<int16_t> samples(2 * 5000);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 37) % 2000 - 1000);
        return samples;
    }();
    const Bytes stereo = dataio_encode_ogg(tone.data(), 5000, 2, 44000, 0.4f);
    LoadedSound sound = {};
    const int64_t before = ogg_guard_budget_used();
    sound_load_ogg_memory(stereo.data(), static_cast<int32_t>(stereo.size()), &sound);
    ASSERT_EQ(sound.channel_count, 2);
    EXPECT_EQ(ogg_guard_budget_used() - before, int64_t{sound.sample_count} * 2);
    sound_free(&sound);
    EXPECT_EQ(ogg_guard_budget_used(), before);

    // An hour of silence, which says so in its last page, is cut off at the
    // limit and refused.
    const Bytes hour = long_silence(3600, 1, 44000);
    EXPECT_LT(hour.size(), 4u << 20);
    int error = 0;
    stb_vorbis *decoder = stb_vorbis_open_memory(hour.data(), static_cast<int>(hour.size()), &error, nullptr);
    ASSERT_NE(decoder, nullptr);
    EXPECT_NEAR(stb_vorbis_stream_length_in_samples(decoder), 3600.0 * 44000, 10.0 * 44000);
    stb_vorbis_close(decoder);
    sound_load_ogg_memory(hour.data(), static_cast<int32_t>(hour.size()), &sound);
    EXPECT_EQ(sound.channel0, nullptr);
    EXPECT_EQ(ogg_guard_budget_used(), before);

    // Two sounds just below the limit fill the budget; a third is refused
    // until one of them is released.
    const Bytes long_one = long_silence(159, 1, 44000);  // 7 million samples
    LoadedSound sounds[3] = {};
    for (LoadedSound &s : sounds) sound_load_ogg_memory(long_one.data(), static_cast<int32_t>(long_one.size()), &s);
    EXPECT_NEAR(sounds[0].sample_count, 7.0e6, 0.3e6);
    EXPECT_NE(sounds[1].channel0, nullptr);
    EXPECT_EQ(sounds[2].channel0, nullptr);
    EXPECT_LE(ogg_guard_budget_used(), OGG_GUARD_BUDGET_SAMPLES);
    sound_free(&sounds[0]);
    sound_load_ogg_memory(long_one.data(), static_cast<int32_t>(long_one.size()), &sounds[2]);
    EXPECT_NE(sounds[2].channel0, nullptr);
    for (LoadedSound &s : sounds) sound_free(&s);
    EXPECT_EQ(ogg_guard_budget_used(), before);
}

// ---- The game on hostile archives -----------------------------------------

TEST(HostileArchive, EachWrongMemberGivesADefinedOutcomeWithinTheMemoryBound) {
    if (!path_exists(NUMBRAL_FIXTURE_ARCHIVE)) GTEST_SKIP() << "no fixture archive in this build";
    ASSERT_TRUE(path_exists(RUNNER)) << RUNNER;
    const std::vector<ArchiveEntry> fixture = fixture_entries();
    ASSERT_FALSE(fixture.empty());
    const std::string missing_sound = "audio_LoadSound > filename doesn't exist: snd/shoot0.ogg\n";
    const std::string level3 = member_text(fixture, "data/level3.txt");

    const HostileCase cases[] = {
        // The archive itself.
        {"truncated ZIP", nullptr, [](Bytes &zip) { zip.resize(zip.size() / 2); }, PLAY_LEVEL_3, 1, missing_sound},
        {"ZIP without its directory", nullptr,
         [](Bytes &zip) {
             for (size_t i = zip.size() - 22;; --i) {
                 if (std::memcmp(&zip[i], "PK\5\6", 4) == 0) {
                     zip[i + 2] = 'X';
                     break;
                 }
             }
         },
         PLAY_LEVEL_3, 1, missing_sound},
        {"a member's compressed bytes overwritten", nullptr,
         [](Bytes &zip) {
             // The level picture's deflated bytes, found by its local header.
             const std::string name = "img/level4.png";
             for (size_t i = 0; i + 30 + name.size() < zip.size(); ++i) {
                 if (std::memcmp(&zip[i], "PK\3\4", 4) == 0 && std::memcmp(&zip[i + 30], name.data(), name.size()) == 0) {
                     const size_t data = i + 30 + name.size() + (zip[i + 28] | zip[i + 29] << 8);
                     for (size_t j = data + 4; j < data + 64 && j < zip.size(); ++j) zip[j] = 0xFF;
                     break;
                 }
             }
         },
         "level 4\nwait 60\nexpect level == 4\n", 0, ""},
        // Pictures.
        {"a layer claiming a width of 2^31 - 2",
         [](auto &e) { put(e, "img/level3-rear.png", png_file({ihdr_chunk(0x7FFFFFFE, 1, 6), {"IDAT", short_zlib()}, {"IEND", {}}})); },
         nullptr, PLAY_LEVEL_3, 0, ""},
        {"a layer claiming 16384 x 8192 with almost no data",
         [](auto &e) { put(e, "img/level3-rear.png", png_file({ihdr_chunk(16384, 8192, 6), {"IDAT", short_zlib()}, {"IEND", {}}})); },
         nullptr, PLAY_LEVEL_3, 0, ""},
        {"a zero-byte sheet", [](auto &e) { put(e, "img/enemies.png", {}); }, nullptr, PLAY_LEVEL_3, 0, ""},
        {"a sheet that is not a PNG", [](auto &e) { put(e, "img/doodads.png", text("GIF89a, not a PNG")); }, nullptr,
         PLAY_LEVEL_3, 0, ""},
        {"a layer of 16384 x 8191 pixels in a 3 MB file",
         [](auto &e) {
             const Bytes idat = zlib_wrap(zero_deflate(size_t{8191} * (1 + 16384 * 4)));
             put(e, "img/level3-rear.png", png_file({ihdr_chunk(16384, 8191, 6), {"IDAT", idat}, {"IEND", {}}}));
         },
         nullptr, PLAY_LEVEL_3, 0, ""},
        {"a level of 16384 x 16384 pixels",
         [&](auto &e) { put(e, "data/level3.txt", text(level3 + "width:16384\nheight:16384\n")); }, nullptr,
         PLAY_LEVEL_3, 0, ""},
        // Level files.
        {"a layer said to be 2,000,000 pixels high",
         [&](auto &e) { put(e, "data/level3.txt", text(level3 + "RearBGheight:2000000\n")); }, nullptr, PLAY_LEVEL_3,
         0, ""},
        {"a level file of 300 MB of zeros in 2 MB", nullptr,
         [&](Bytes &zip) { zip = archive_with_deflated_zeros(fixture, "data/level3.txt", 300u << 20); },
         PLAY_LEVEL_3, 0, ""},
        {"a level of 10,000 lines",
         [&](auto &e) { put(e, "data/level3.txt", text(level3 + repeated("doodad:0:20:20\n", 10000))); }, nullptr,
         PLAY_LEVEL_3, 0, ""},
        {"a single line of 1 MB",
         [&](auto &e) { put(e, "data/level3.txt", text("title:" + std::string(1 << 20, 'T') + "\n" + level3)); },
         nullptr, PLAY_LEVEL_3, 0, ""},
        {"300 doodads",
         [&](auto &e) { put(e, "data/level3.txt", text(level3 + repeated("doodad:3:60:20\n", 300))); }, nullptr,
         PLAY_LEVEL_3, 0, ""},
        {"50 triggers",
         [&](auto &e) {
             put(e, "data/level3.txt",
                 text(repeated("trigger:createdoodad:40:10:4:4:0:0:128:36\n", 50) + level3));
         },
         nullptr, PLAY_LEVEL_3, 0, ""},
        {"negative and huge numbers in every field", [](auto &e) { put(e, "data/level3.txt", text(extreme_level())); },
         nullptr, PLAY_LEVEL_3, 0, ""},
        // Cutscenes: the opening one, which the game starts by itself.
        {"a cutscene with fps 0 and frames -5",
         [](auto &e) { put(e, "data/cutscene1.txt", text("frames:-5\nfps:0\ntarget:level:3:0\n")); }, nullptr,
         "wait 120\nexpect mode == cutscene\nhold jump 70\nexpect mode == play\nexpect level == 3\nwait 30\n", 0, ""},
        {"a cutscene target naming a missing level",
         [](auto &e) { put(e, "data/cutscene1.txt", text("frames:2\ntarget:level:77:0\n")); }, nullptr,
         "until mode == play 100\nexpect level == 77\nhold right jump 60\nexpect level == 77\n", 0, ""},
        // Sounds.
        {"an Ogg that does not decode",
         [](auto &e) { put(e, "snd/jump0.ogg", text("OggS but nothing else")); }, nullptr, PLAY_LEVEL_3, 0, ""},
        {"an Ogg whose comment count lies",
         [](auto &e) { put(e, "snd/shoot0.ogg", with_comment(comment_packet(4, "lies", 0x20000001u, {}))); }, nullptr,
         PLAY_LEVEL_3, 0, ""},
        {"an Ogg of an hour of silence", [](auto &e) { put(e, "snd/music1.ogg", long_silence(3600, 2, 44000)); },
         nullptr, PLAY_LEVEL_3, 0, ""},
    };
    for (const HostileCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        {
            // Everything large is released before the game is started: the
            // child's peak counts what this process holds when it forks.
            std::vector<ArchiveEntry> entries = fixture;
            if (c.change) c.change(entries);
            std::string error;
            ASSERT_TRUE(dataio_write_zip(folder.file("hostile.quob"), entries, &error)) << error;
        }
        if (c.corrupt_zip) {
            const std::string zip = read_file(folder.file("hostile.quob"));
            Bytes bytes(zip.begin(), zip.end());
            c.corrupt_zip(bytes);
            write_file(folder.file("hostile.quob"), std::string(bytes.begin(), bytes.end()));
        }
        write_file(folder.file("case.script"), c.script);
        const auto start = std::chrono::steady_clock::now();
        const GameRun run = run_measured({RUNNER, "--archive", folder.file("hostile.quob"), folder.file("case.script")},
                                     folder, 120);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-52s status %d, peak %6lld KiB, %.1f s\n", c.name, run.exit_status,
                    static_cast<long long>(run.peak_kib), seconds);
        EXPECT_EQ(run.exit_status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_LT(run.peak_kib, MEMORY_BOUND_KIB);
    }
}
