#include "dataio/dataio.h"

#include <stb_image_write.h>
#include <vorbis/vorbisenc.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool dataio_write_zip(const std::string &zip_path, const std::vector<ArchiveEntry> &entries, std::string *error) {
    std::remove(zip_path.c_str());
    int open_error = 0;
    zip_t *archive = zip_open(zip_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &open_error);
    if (!archive) {
        zip_error_t detail;
        zip_error_init_with_code(&detail, open_error);
        *error = zip_path + ": " + zip_error_strerror(&detail);
        zip_error_fini(&detail);
        return false;
    }
    for (const ArchiveEntry &entry : entries) {
        // libzip reads the bytes at zip_close, so they must live until then.
        zip_source_t *source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        zip_int64_t index = source ? zip_file_add(archive, entry.path.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source) zip_source_free(source);
            *error = entry.path + ": " + zip_strerror(archive);
            zip_discard(archive);
            return false;
        }
        // A fixed date keeps the archive the same bytes from build to build.
        zip_file_set_dostime(archive, static_cast<zip_uint64_t>(index), 0, (2026 - 1980) << 9 | 1 << 5 | 1, 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    if (zip_close(archive) != 0) {
        *error = zip_path + ": " + zip_strerror(archive);
        zip_discard(archive);
        return false;
    }
    return true;
}

static void append_bytes(void *context, void *data, int size) {
    auto *out = static_cast<std::vector<uint8_t> *>(context);
    const auto *bytes = static_cast<const uint8_t *>(data);
    out->insert(out->end(), bytes, bytes + size);
}

std::vector<uint8_t> dataio_encode_png(const uint8_t *rgba, int width, int height) {
    std::vector<uint8_t> out;
    stbi_write_png_to_func(append_bytes, &out, width, height, 4, rgba, width * 4);
    return out;
}

static void append_page(std::vector<uint8_t> *out, const ogg_page &page) {
    out->insert(out->end(), page.header, page.header + page.header_len);
    out->insert(out->end(), page.body, page.body + page.body_len);
}

std::vector<uint8_t> dataio_encode_ogg(const int16_t *samples, int frames, int channels, int rate, float quality) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x4E554D42);  // a fixed serial number keeps the bytes stable

    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) append_page(&out, page);

    const int chunk = 1024;
    for (int done = 0; done <= frames;) {
        const int count = frames - done < chunk ? frames - done : chunk;
        if (count > 0) {
            float **buffer = vorbis_analysis_buffer(&dsp, count);
            for (int i = 0; i < count; ++i) {
                for (int c = 0; c < channels; ++c) {
                    buffer[c][i] = samples[(done + i) * channels + c] / 32768.0f;
                }
            }
        }
        vorbis_analysis_wrote(&dsp, count);  // a count of 0 marks the end
        done += count;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) append_page(&out, page);
            }
        }
        if (count == 0) break;
    }
    while (ogg_stream_flush(&stream, &page) != 0) append_page(&out, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}
