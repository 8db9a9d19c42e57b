// The archive the builder makes: exactly the expected paths, pictures that
// decode to their sources' pixels, sounds that decode at 44000 frames per
// second to the rendered length, and the same bytes from build to build.
#include "databuild_support.h"

#include "art.h"
#include "layouts.h"
#include "level.h"
#include "synth.h"

#include <physfs.h>
#include <stb_image.h>
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <set>

namespace {

// Pictures are 8-bit RGBA PNGs, what the game's decoder takes, with their
// sources' pixels; sounds play at 44000 frames a second with the rendered
// channels and length; descriptions keep no notes or empty lines.
TEST(FixtureArchive, HoldsWhatTheSourcesMakeEachDecodingToItsSource) {
    const BuildOutcome outcome = build_content(FIXTURES);
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.messages, "");  // not even a warning
    // levels/*.txt and cutscenes/*.txt become data/..., pictures and tile
    // maps img/NAME.png, and the game's sounds snd/NAME.ogg.
    std::set<std::string> expected, paths;
    for (const char *folder : {"levels", "cutscenes", "images"}) {
        for (const auto &file : std::filesystem::directory_iterator(FIXTURES + "/" + folder)) {
            const std::string stem = file.path().stem().string(), extension = file.path().extension().string();
            if (extension == ".txt") expected.insert("data/" + stem + ".txt");
            if (extension == ".art" || extension == ".map") expected.insert("img/" + stem + ".png");
        }
    }
    for (int i = 0; i < SOUND_COUNT; ++i) expected.insert("snd/" + std::string(sound_name(i)) + ".ogg");
    Art font;
    ASSERT_TRUE(art_build(FIXTURES + "/images/tinyfont.art", "tinyfont", {FIXTURES, nullptr}, &font));
    std::set<int> channel_counts;
    for (const ArchiveEntry &entry : outcome.entries) {
        paths.insert(entry.path);
        const std::vector<uint8_t> &bytes = entry.bytes;
        const std::string folder = entry.path.substr(0, 4), name = entry.path.substr(4, entry.path.size() - 8);
        SCOPED_TRACE(entry.path);
        if (folder == "img/") {
            ASSERT_GT(bytes.size(), 33u);
            EXPECT_TRUE(bytes[24] == 8 && bytes[25] == 6 && bytes[28] == 0);  // 8 bits, RGBA, not interlaced
            int width = 0, height = 0, channels = 0;
            stbi_uc *pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
            ASSERT_NE(pixels, nullptr);
            Image source;
            const ArtContext context{FIXTURES, &font.image};
            if (path_exists(FIXTURES + "/images/" + name + ".art")) {
                Art art;
                EXPECT_TRUE(art_build(FIXTURES + "/images/" + name + ".art", name, context, &art));
                source = art.image;
            } else {
                TileMap map;
                EXPECT_TRUE(map_build(FIXTURES + "/levels/" + name + ".map", context, &map));
                source = map.picture;
            }
            EXPECT_TRUE(width == source.width && height == source.height);
            EXPECT_TRUE(source.pixels.size() == size_t(width) * height * 4 &&
                        std::equal(source.pixels.begin(), source.pixels.end(), pixels));
            stbi_image_free(pixels);
            const SheetLayout *layout = layout_find(name);
            EXPECT_TRUE(!layout || (width == layout->width && height == layout->height));
        } else if (folder == "snd/") {
            Pcm pcm;
            ASSERT_TRUE(synth_build(FIXTURES + "/sounds/" + name + ".snd", &pcm));
            int channels = 0, rate = 0;
            short *samples = nullptr;
            const int frames = stb_vorbis_decode_memory(bytes.data(), static_cast<int>(bytes.size()), &channels, &rate, &samples);
            std::free(samples);
            EXPECT_TRUE(rate == 44000 && channels == pcm.channels && frames == pcm.frames);
            channel_counts.insert(channels);
        } else {
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_TRUE(text.find('#') == std::string::npos && text.find("\n\n") == std::string::npos);
        }
    }
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(channel_counts, (std::set<int>{1, 2}));  // both kinds are exercised
}

// The build's own archive came from the same sources, and PhysFS reads each
// entry back from it.
TEST(FixtureArchive, TwoBuildsGiveTheSameBytesThatPhysfsReadsBack) {
    TempDir dir;
    ASSERT_TRUE(databuild_write(FIXTURES, dir.file("a.quob")));
    ASSERT_TRUE(databuild_write(FIXTURES, dir.file("b.quob")));
    const std::string first = read_file(dir.file("a.quob"));
    EXPECT_EQ(first, read_file(dir.file("b.quob")));
    EXPECT_EQ(first, read_file(NUMBRAL_FIXTURE_ARCHIVE));
    mount_fixture_archive();
    for (const ArchiveEntry &entry : build_content(FIXTURES).entries) {
        PHYSFS_File *file = PHYSFS_openRead(entry.path.c_str());
        ASSERT_NE(file, nullptr) << entry.path;
        std::vector<uint8_t> bytes(entry.bytes.size() + 1);
        EXPECT_EQ(PHYSFS_readBytes(file, bytes.data(), bytes.size()), static_cast<PHYSFS_sint64>(entry.bytes.size()));
        PHYSFS_close(file);
        EXPECT_TRUE(std::equal(entry.bytes.begin(), entry.bytes.end(), bytes.begin())) << entry.path;
    }
    unmount_test_archives();
}

// The build's rule for an archive, in a project of its own that uses the
// real builder: removing a level's files rebuilds the archive without them.
TEST(ArchiveRule, ASourceRemovedIsGoneFromTheRebuiltArchive) {
    TempDir dir;
    const std::string content = dir.file("content");
    std::filesystem::copy(FIXTURES, content, std::filesystem::copy_options::recursive);
    write_file(content + "/levels/level9.txt", "title:Nine\n");
    std::string map = "tileset fixture\nmap\n";
    for (int row = 0; row < 9; ++row) map += "################\n";
    write_file(content + "/levels/level9.map", map);
    write_file(dir.file("CMakeLists.txt"),
               "cmake_minimum_required(VERSION 3.25)\nproject(rule NONE)\n"
               "add_executable(numbral-databuild IMPORTED)\n"
               "set_target_properties(numbral-databuild PROPERTIES IMPORTED_LOCATION " NUMBRAL_DATABUILD_EXE ")\n"
               "include(" NUMBRAL_SOURCE_DIR "/tools/archive.cmake)\n"
               "numbral_archive(data " + content + " ${PROJECT_BINARY_DIR}/out/data.quob)\n");
    const std::string build = "cmake --build " + dir.file("build") + " 2>&1";
    const std::string script = "set -e; g=; command -v ninja >/dev/null && g='-G Ninja'; cmake -S " + dir.path + " -B " +
                               dir.file("build") + " $g >/dev/null; " + build;
    ProcessResult result = run_process("/bin/sh", {"-c", script}, {}, dir.path, 120);
    ASSERT_EQ(result.exit_status, 0) << result.out;
    const std::string archive = dir.file("build/out/data.quob");
    EXPECT_NE(read_file(archive).find("data/level9.txt"), std::string::npos);

    std::filesystem::remove(content + "/levels/level9.txt");
    std::filesystem::remove(content + "/levels/level9.map");
    result = run_process("/bin/sh", {"-c", build}, {}, dir.path, 120);
    ASSERT_EQ(result.exit_status, 0) << result.out;
    EXPECT_EQ(read_file(archive).find("level9"), std::string::npos);
    EXPECT_NE(read_file(archive).find("data/level3.txt"), std::string::npos);
}

}  // namespace
