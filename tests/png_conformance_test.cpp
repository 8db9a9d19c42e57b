// Every file of the public PNG suite gives its recorded verdict and, when it
// decodes, exactly the recorded RGBA bytes.
#include "resources/png.h"
#include "support/sha256.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

struct Expectation {
    std::string file;
    std::string width;
    std::string height;
    std::string verdict;
    std::string digest;
};

std::vector<Expectation> read_expectations(const std::string &path) {
    std::vector<Expectation> rows;
    std::istringstream lines(read_file(path));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("file\t", 0) == 0) continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) fields.push_back(cell);
        if (fields.size() < 11) continue;
        rows.push_back({fields[0], fields[2], fields[3], fields[8], fields[10]});
    }
    return rows;
}

const std::string suite_dir = std::string(NUMBRAL_TESTDATA_DIR) + "/pngsuite";

TEST(PngConformance, EveryFileGivesItsRecordedVerdictAndPixels) {
    const std::vector<Expectation> rows = read_expectations(suite_dir + "/EXPECTED.tsv");
    ASSERT_EQ(rows.size(), 176u);
    int decoded = 0;
    for (const Expectation &row : rows) {
        SCOPED_TRACE(row.file);
        const std::string bytes = read_file(suite_dir + "/" + row.file);
        ASSERT_FALSE(bytes.empty());
        PngImage image = png_load_from_memory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                              static_cast<int32_t>(bytes.size()));
        if (row.verdict != "decode") {
            EXPECT_EQ(image.pixels, nullptr) << row.verdict;
            std::free(image.pixels);
            continue;
        }
        ASSERT_NE(image.pixels, nullptr);
        EXPECT_EQ(std::to_string(image.width), row.width);
        EXPECT_EQ(std::to_string(image.height), row.height);
        const size_t size = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
        EXPECT_EQ(sha256_hex(image.pixels, size), row.digest);
        std::free(image.pixels);
        ++decoded;
    }
    EXPECT_EQ(decoded, 55);
}

// Any prefix of a valid file is refused or decoded without reading past it
// (the sanitizer builds check the reads).
TEST(PngConformance, TruncatedFilesNeverReadPastTheirEnd) {
    for (const char *name : {"basn6a08.png", "basn3p08.png", "f04n2c08.png", "z00n2c08.png", "tbbn3p08.png"}) {
        SCOPED_TRACE(name);
        const std::string bytes = read_file(suite_dir + "/" + name);
        for (size_t length = 0; length < bytes.size(); ++length) {
            std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
            PngImage image = png_load_from_memory(prefix.data(), static_cast<int32_t>(length));
            std::free(image.pixels);
        }
    }
}

}  // namespace
