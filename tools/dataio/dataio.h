// Writers for the data archive's file formats: ZIP, PNG and Ogg Vorbis. The
// data builder and the tests' fixtures use them; every output is the same
// bytes for the same input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveEntry {
    std::string path;  // inside the archive, forward slashes
    std::vector<uint8_t> bytes;
};

// Writes a ZIP file holding the entries, replacing any file at zip_path.
bool dataio_write_zip(const std::string &zip_path, const std::vector<ArchiveEntry> &entries, std::string *error);

// 8-bit non-interlaced RGBA PNG of width x height pixels (rows top to bottom).
std::vector<uint8_t> dataio_encode_png(const uint8_t *rgba, int width, int height);

// Ogg Vorbis of interleaved 16-bit samples; empty on failure. quality runs
// from -0.1 to 1.0.
std::vector<uint8_t> dataio_encode_ogg(const int16_t *samples, int frames, int channels, int rate, float quality);
