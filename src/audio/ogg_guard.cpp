#include "audio/ogg_guard.h"

#include "common/log.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

static std::atomic<int64_t> budget_used{0};

// Reads one packet's bytes across Ogg pages, the way the decoder does: a
// lacing value of 255 continues the packet, anything less ends it, and a
// packet that runs on to the next page needs that page's continued flag.
struct PacketReader {
    const uint8_t *bytes;
    int64_t length;
    int64_t page_end;      // first byte after the current page
    int64_t segment_table; // where the current page's lacing values lie
    int segment_count;
    int segment;           // next lacing value to use
    int64_t at;            // next byte of the current segment
    int64_t left;          // bytes left in the current segment
    bool packet_ends;      // the current segment is the packet's last
};

static constexpr uint8_t PAGE_CONTINUED = 0x01;
static constexpr uint8_t PAGE_FIRST = 0x02;
static constexpr uint8_t PAGE_LAST = 0x04;
static constexpr int PAGE_HEADER = 27;

// Opens the page at `at`; false when it is not a whole Ogg page.
static bool open_page(PacketReader *reader, int64_t at) {
    const uint8_t *b = reader->bytes;
    if (at < 0 || reader->length - at < PAGE_HEADER) return false;
    if (std::memcmp(b + at, "OggS", 4) != 0 || b[at + 4] != 0) return false;
    const int segments = b[at + 26];
    if (reader->length - at - PAGE_HEADER < segments) return false;
    int64_t data = 0;
    for (int i = 0; i < segments; ++i) data += b[at + PAGE_HEADER + i];
    const int64_t data_start = at + PAGE_HEADER + segments;
    if (reader->length - data_start < data) return false;
    reader->segment_table = at + PAGE_HEADER;
    reader->segment_count = segments;
    reader->segment = 0;
    reader->at = data_start;
    reader->left = 0;
    reader->page_end = data_start + data;
    return true;
}

static uint8_t page_flags(const PacketReader *reader) {
    return reader->bytes[reader->segment_table - PAGE_HEADER + 5];
}

// The next byte of the packet, or -1 at its end (or where the file ends).
static int next_byte(PacketReader *reader) {
    while (reader->left == 0) {
        if (reader->packet_ends) return -1;
        if (reader->segment == reader->segment_count) {
            if (!open_page(reader, reader->page_end) || !(page_flags(reader) & PAGE_CONTINUED)) return -1;
            continue;
        }
        const int lacing = reader->bytes[reader->segment_table + reader->segment++];
        reader->left = lacing;
        reader->packet_ends = lacing < 255;
    }
    --reader->left;
    return reader->bytes[reader->at++];
}

static bool next_u32(PacketReader *reader, uint32_t *value) {
    *value = 0;
    for (int i = 0; i < 4; ++i) {
        const int byte = next_byte(reader);
        if (byte < 0) return false;
        *value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    return true;
}

static bool skip_bytes(PacketReader *reader, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (next_byte(reader) < 0) return false;
    }
    return true;
}

static bool vorbis_word(PacketReader *reader, int packet_type) {
    if (next_byte(reader) != packet_type) return false;
    for (const char *c = "vorbis"; *c; ++c) {
        if (next_byte(reader) != static_cast<uint8_t>(*c)) return false;
    }
    return true;
}

// The next packet: the rest of the current one is skipped; a packet that
// starts a page needs that page not to be a continuation.
static bool start_next_packet(PacketReader *reader) {
    while (next_byte(reader) >= 0) {
    }
    if (!reader->packet_ends) return false;  // the file ended inside the packet
    reader->packet_ends = false;
    if (reader->segment == reader->segment_count) {
        if (!open_page(reader, reader->page_end) || (page_flags(reader) & PAGE_CONTINUED)) return false;
    }
    return true;
}

// Vorbis packs its setup fields least significant bit first.
struct BitReader {
    PacketReader *packet;
    int byte;
    int bits_left;
};

static bool read_bits(BitReader *reader, int count, uint32_t *value) {
    *value = 0;
    for (int i = 0; i < count; ++i) {
        if (reader->bits_left == 0) {
            reader->byte = next_byte(reader->packet);
            if (reader->byte < 0) return false;
            reader->bits_left = 8;
        }
        *value |= static_cast<uint32_t>((reader->byte >> (8 - reader->bits_left)) & 1) << i;
        --reader->bits_left;
    }
    return true;
}

static int bit_length(uint32_t value) {
    int length = 0;
    for (; value; value >>= 1) ++length;
    return length;
}

// The largest r with r^dimensions <= entries, as the decoder computes it.
static uint32_t lookup1_values(uint32_t entries, uint32_t dimensions) {
    if (dimensions == 1) return entries;
    uint32_t r = 1;
    for (;;) {
        uint64_t power = 1;
        for (uint32_t d = 0; d < dimensions && power <= entries; ++d) power *= r + 1;
        if (power > entries) return r;
        ++r;
    }
}

// The codebooks at the start of the setup header. The decoder sizes its
// tables by their entry counts before it reads what stands behind them, and
// a lookup table by entries x dimensions, a product it truncates to 32 bits
// (then fills the whole product: a heap overflow): the counts are held to
// what an encoder makes, and every codebook must be there whole.
static bool codebooks_ok(PacketReader *packet) {
    if (!vorbis_word(packet, 5)) return false;
    BitReader bits = {packet, 0, 0};
    uint32_t count = 0;
    if (!read_bits(&bits, 8, &count)) return false;
    for (uint32_t book = 0; book <= count; ++book) {
        uint32_t sync = 0, dimensions = 0, entries = 0, ordered = 0;
        if (!read_bits(&bits, 24, &sync) || sync != 0x564342 || !read_bits(&bits, 16, &dimensions) ||
            !read_bits(&bits, 24, &entries) || !read_bits(&bits, 1, &ordered)) {
            return false;
        }
        if (dimensions == 0 || entries > OGG_GUARD_CODEBOOK_ENTRIES ||
            int64_t{entries} * dimensions > OGG_GUARD_CODEBOOK_VALUES) {
            return false;
        }
        uint32_t value = 0;
        if (ordered) {
            uint32_t entry = 0, length = 0;
            if (!read_bits(&bits, 5, &length)) return false;
            for (++length; entry < entries; ++length) {
                if (length > OGG_GUARD_CODEWORD_BITS || !read_bits(&bits, bit_length(entries - entry), &value)) {
                    return false;
                }
                if (value > entries - entry) return false;
                entry += value;
            }
        } else {
            uint32_t sparse = 0;
            if (!read_bits(&bits, 1, &sparse)) return false;
            for (uint32_t entry = 0; entry < entries; ++entry) {
                uint32_t present = 1;
                if (sparse && !read_bits(&bits, 1, &present)) return false;
                if (present && (!read_bits(&bits, 5, &value) || value + 1 > OGG_GUARD_CODEWORD_BITS)) return false;
            }
        }
        uint32_t lookup = 0;
        if (!read_bits(&bits, 4, &lookup) || lookup > 2) return false;
        if (lookup == 0) continue;
        uint32_t value_bits = 0, sequence = 0;
        if (!read_bits(&bits, 32, &value) || !read_bits(&bits, 32, &value) || !read_bits(&bits, 4, &value_bits) ||
            !read_bits(&bits, 1, &sequence)) {
            return false;
        }
        const uint32_t values = lookup == 1 ? lookup1_values(entries, dimensions) : entries * dimensions;
        for (uint32_t i = 0; i < values; ++i) {
            if (!read_bits(&bits, static_cast<int>(value_bits) + 1, &value)) return false;
        }
    }
    return true;
}

bool ogg_guard_headers_ok(const uint8_t *bytes, int32_t length) {
    if (!bytes || length <= 0) return false;
    PacketReader reader = {};
    reader.bytes = bytes;
    reader.length = length;

    // The identification header: alone on the first page, 30 bytes.
    if (!open_page(&reader, 0)) return false;
    const uint8_t flags = page_flags(&reader);
    if (!(flags & PAGE_FIRST) || (flags & (PAGE_LAST | PAGE_CONTINUED)) || reader.segment_count != 1 ||
        bytes[reader.segment_table] != 30) {
        return false;
    }
    uint32_t version = 0, sample_rate = 0, bitrates = 0;
    if (!vorbis_word(&reader, 1) || !next_u32(&reader, &version) || version != 0) return false;
    const int channels = next_byte(&reader);
    if (channels != 1 && channels != 2) return false;
    if (!next_u32(&reader, &sample_rate) || sample_rate == 0 || sample_rate > INT32_MAX) return false;
    for (int i = 0; i < 3; ++i) {
        if (!next_u32(&reader, &bitrates)) return false;
    }
    const int block_sizes = next_byte(&reader);
    const int small_block = block_sizes & 15, large_block = block_sizes >> 4;
    if (block_sizes < 0 || small_block < 6 || large_block > 13 || small_block > large_block) return false;
    const int framing = next_byte(&reader);
    if (framing < 0 || !(framing & 1)) return false;

    // The comment header starts the next page. The decoder allocates by
    // the lengths it finds here before it reads the bytes behind them, so
    // every length must lie inside the packet.
    if (!open_page(&reader, reader.page_end) || (page_flags(&reader) & PAGE_CONTINUED)) return false;
    reader.packet_ends = false;
    uint32_t vendor_length = 0, comment_count = 0, comment_length = 0;
    if (!vorbis_word(&reader, 3) || !next_u32(&reader, &vendor_length) || !skip_bytes(&reader, vendor_length)) {
        return false;
    }
    if (!next_u32(&reader, &comment_count)) return false;
    for (uint32_t i = 0; i < comment_count; ++i) {
        if (!next_u32(&reader, &comment_length) || !skip_bytes(&reader, comment_length)) return false;
    }
    const int comment_framing = next_byte(&reader);
    if (comment_framing < 0 || !(comment_framing & 1)) return false;

    // The setup header follows as the third packet.
    return start_next_packet(&reader) && codebooks_ok(&reader);
}

static bool budget_take(int64_t samples) {
    const int64_t before = budget_used.fetch_add(samples);
    if (before + samples <= OGG_GUARD_BUDGET_SAMPLES) return true;
    budget_used.fetch_sub(samples);
    return false;
}

void ogg_guard_release(int64_t samples) {
    int64_t used = budget_used.load();
    while (!budget_used.compare_exchange_weak(used, std::max<int64_t>(0, used - std::max<int64_t>(0, samples)))) {
    }
}

int64_t ogg_guard_budget_used() {
    return budget_used.load();
}

// The decoder's own 16-bit conversion adds 384 to the sample and reads the
// float's bits; on the wild samples of a damaged stream its integer step
// overflows. This is the same trick on the sample clamped to full scale
// first, so a good stream decodes to the very same values.
static short sample_to_short(float sample) {
    if (sample != sample) return 0;  // NaN
    const float shifted = std::clamp(sample, -1.0f, 32767.0f / 32768.0f) + 384.0f;
    uint32_t bits = 0;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<short>(static_cast<int32_t>(bits) - 0x43C00000);  // 384.0f's bits
}

int ogg_guard_decode(const uint8_t *bytes, int32_t length, int *channels, int *sample_rate, short **output) {
    *output = nullptr;
    *channels = 0;
    *sample_rate = 0;
    if (!ogg_guard_headers_ok(bytes, length)) {
        app_log("sound_load_ogg_memory > not a Vorbis stream this game can play; refused");
        return 0;
    }
    // Every table of the decoder lies in this block: a stream that needs
    // more fails to open, and whatever an error path forgets goes with it.
    char *block = static_cast<char *>(std::malloc(OGG_GUARD_DECODER_BYTES));
    if (!block) return 0;
    const stb_vorbis_alloc working_memory = {block, OGG_GUARD_DECODER_BYTES};
    int error = 0;
    stb_vorbis *decoder = stb_vorbis_open_memory(bytes, length, &error, &working_memory);
    if (!decoder) {
        std::free(block);
        return 0;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(decoder);
    const int channel_count = info.channels;

    // One decoded frame holds at most 4096 samples per channel (the largest
    // block is 8192), so that much room is kept free before every frame.
    const int64_t frame_room = int64_t{4096} * channel_count;
    const int64_t most = OGG_GUARD_SOUND_SAMPLES + frame_room;
    int64_t capacity = 16 * frame_room;
    int64_t used = 0;
    short *data = static_cast<short *>(std::malloc(static_cast<size_t>(capacity) * sizeof(short)));
    bool too_long = false;
    while (data) {
        if (capacity - used < frame_room) {
            if (capacity >= most) {
                too_long = true;
                break;
            }
            capacity = std::min(capacity * 2, most);
            short *grown = static_cast<short *>(std::realloc(data, static_cast<size_t>(capacity) * sizeof(short)));
            if (!grown) std::free(data);
            data = grown;
            if (!data) break;
        }
        float **channels_out = nullptr;
        const int64_t frames = std::min<int64_t>(stb_vorbis_get_frame_float(decoder, nullptr, &channels_out),
                                                 (capacity - used) / channel_count);
        if (frames <= 0) break;
        for (int64_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channel_count; ++c) data[used++] = sample_to_short(channels_out[c][i]);
        }
        if (used > OGG_GUARD_SOUND_SAMPLES) {
            too_long = true;
            break;
        }
    }
    stb_vorbis_close(decoder);
    std::free(block);
    if (!data || used == 0 || too_long) {
        if (too_long) {
            app_log("sound_load_ogg_memory > longer than %lld samples; refused",
                    static_cast<long long>(OGG_GUARD_SOUND_SAMPLES));
        }
        std::free(data);
        return 0;
    }
    if (!budget_take(used)) {
        app_log("sound_load_ogg_memory > the decoded sounds would pass %lld samples; refused",
                static_cast<long long>(OGG_GUARD_BUDGET_SAMPLES));
        std::free(data);
        return 0;
    }
    *output = data;
    *channels = channel_count;
    *sample_rate = static_cast<int>(info.sample_rate);
    return static_cast<int>(used / channel_count);
}
