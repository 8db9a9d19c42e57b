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
    return comment_framing >= 0 && (comment_framing & 1);
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

int ogg_guard_decode(const uint8_t *bytes, int32_t length, int *channels, int *sample_rate, short **output) {
    *output = nullptr;
    *channels = 0;
    *sample_rate = 0;
    if (!ogg_guard_headers_ok(bytes, length)) {
        app_log("sound_load_ogg_memory > not a Vorbis stream this game can play; refused");
        return 0;
    }
    int error = 0;
    stb_vorbis *decoder = stb_vorbis_open_memory(bytes, length, &error, nullptr);
    if (!decoder) return 0;
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
        const int frames = stb_vorbis_get_frame_short_interleaved(decoder, channel_count, data + used,
                                                                  static_cast<int>(capacity - used));
        if (frames <= 0) break;
        used += int64_t{frames} * channel_count;
        if (used > OGG_GUARD_SOUND_SAMPLES) {
            too_long = true;
            break;
        }
    }
    stb_vorbis_close(decoder);
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
