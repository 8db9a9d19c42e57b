// Every file of the public PNG suite gives its recorded verdict and, when it
// decodes, exactly the recorded RGBA bytes.
#include "resources/png.h"
#include "support/sha256.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

const std::string suite_dir = std::string(NUMBRAL_TESTDATA_DIR) + "/pngsuite";

TEST(PngConformance, EveryFileGivesItsRecordedVerdictAndPixels) {
    std::istringstream lines(read_file(suite_dir + "/EXPECTED.tsv"));
    int files = 0, decoded = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#' || line.rfind("file\t", 0) == 0) continue;
        // file, bytes, width, height, depth, colour type, interlace, IDAT
        // count, verdict, notes, RGBA digest, chunks
        std::vector<std::string> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) row.push_back(cell);
        ASSERT_GE(row.size(), 11u) << line;
        SCOPED_TRACE(row[0]);
        const std::string bytes = read_file(suite_dir + "/" + row[0]);
        const PngImage image = png_load_from_memory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                                    static_cast<int32_t>(bytes.size()));
        ++files;
        if (row[8] == "decode" && image.pixels) {
            ++decoded;
            EXPECT_EQ(std::to_string(image.width) + " x " + std::to_string(image.height), row[2] + " x " + row[3]);
            EXPECT_EQ(sha256_hex(image.pixels, size_t(image.width) * size_t(image.height) * 4), row[10]);
        }
        EXPECT_EQ(image.pixels != nullptr, row[8] == "decode");
        std::free(image.pixels);
    }
    EXPECT_EQ(files, 176);
    EXPECT_EQ(decoded, 55);
}

// Any prefix of a valid file is refused or decoded without reading past it
// (the sanitizer builds check the reads).
TEST(PngConformance, TruncatedFilesNeverReadPastTheirEnd) {
    for (const char *name : {"basn6a08.png", "basn3p08.png", "f04n2c08.png", "z00n2c08.png", "tbbn3p08.png"}) {
        const std::string bytes = read_file(suite_dir + "/" + name);
        for (size_t length = 0; length < bytes.size(); ++length) {
            const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
            std::free(png_load_from_memory(prefix.data(), static_cast<int32_t>(length)).pixels);
        }
    }
}

}  // namespace
