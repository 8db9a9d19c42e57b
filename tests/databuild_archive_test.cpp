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

#include <algorithm>
#include <set>

namespace {

const std::string FIXTURES = NUMBRAL_FIXTURE_DIR;

std::vector<std::string> physfs_list(const char *folder) {
    std::vector<std::string> names;
    char **files = PHYSFS_enumerateFiles(folder);
    for (char **f = files; f && *f; ++f) names.push_back(*f);
    PHYSFS_freeList(files);
    std::sort(names.begin(), names.end());
    return names;
}

// What a content folder's sources make, by the folder's own listing:
// levels/levelN.txt and cutscenes/cutsceneN.txt become data/..., pictures and
// tile maps img/NAME.png, scores snd/NAME.ogg.
std::vector<std::string> expected_entries(const std::string &source_folder, const std::string &extension, const std::string &into) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(FIXTURES + "/" + source_folder)) {
        if (entry.path().extension() == extension) names.push_back(entry.path().stem().string() + into);
    }
    return names;
}

TEST(FixtureArchive, OpensInPhysfsAndListsExactlyWhatTheFolderHolds) {
    ASSERT_TRUE(PHYSFS_isInit() || PHYSFS_init(nullptr));
    unmount_test_archives();
    ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    EXPECT_EQ(physfs_list(""), (std::vector<std::string>{"data", "img", "snd"}));
    auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<std::string> data = expected_entries("levels", ".txt", ".txt");
    for (const std::string &name : expected_entries("cutscenes", ".txt", ".txt")) data.push_back(name);
    std::vector<std::string> img = expected_entries("images", ".art", ".png");
    for (const std::string &name : expected_entries("levels", ".map", ".png")) img.push_back(name);
    EXPECT_EQ(physfs_list("data"), sorted(data));
    EXPECT_EQ(physfs_list("img"), sorted(img));
    // At least the game's own: the title, the first two levels, the three
    // cutscenes the game names, every sheet and the font.
    for (const char *path : {"data/level0.txt", "data/level3.txt", "data/level4.txt", "data/cutscene1.txt", "data/cutscene2.txt",
                             "data/cutscene5.txt", "img/tinyfont.png", "img/doodads.png", "img/boss.png"}) {
        EXPECT_TRUE(PHYSFS_exists(path)) << path;
    }
    std::vector<std::string> sounds;
    for (int i = 0; i < SOUND_COUNT; ++i) sounds.push_back(std::string(sound_name(i)) + ".ogg");
    EXPECT_EQ(physfs_list("snd"), sorted(sounds));
    unmount_test_archives();
}

// The picture a source makes, built directly from the source.
Image picture_from_source(const std::string &name, const Image &font) {
    const ArtContext context{FIXTURES, &font};
    Art art;
    if (path_exists(FIXTURES + "/images/" + name + ".art")) {
        EXPECT_TRUE(art_build(FIXTURES + "/images/" + name + ".art", name, context, &art)) << name;
        return art.image;
    }
    TileMap map;
    EXPECT_TRUE(map_build(FIXTURES + "/levels/" + name + ".map", context, &map)) << name;
    return map.picture;
}

// Pictures are 8-bit RGBA PNGs, what the game's decoder takes, with their
// sources' pixels; sounds play at 44000 frames a second with the rendered
// channels and length; descriptions keep no notes or empty lines.
TEST(FixtureArchive, EveryEntryDecodesToWhatItsSourceMakes) {
    const BuildOutcome outcome = build_content(FIXTURES);
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.messages, "");  // not even a warning
    Art font;
    ASSERT_TRUE(art_build(FIXTURES + "/images/tinyfont.art", "tinyfont", {FIXTURES, nullptr}, &font));
    std::set<int> channel_counts;
    for (const ArchiveEntry &entry : outcome.entries) {
        const std::vector<uint8_t> &bytes = entry.bytes;
        const std::string folder = entry.path.substr(0, 4), name = entry.path.substr(4, entry.path.size() - 8);
        if (folder == "img/") {
            ASSERT_GT(bytes.size(), 33u);
            // IHDR: 8 bits, RGBA, not interlaced.
            EXPECT_EQ(bytes[24], 8) << name;
            EXPECT_EQ(bytes[25], 6) << name;
            EXPECT_EQ(bytes[28], 0) << name;
            int width = 0, height = 0, channels = 0;
            stbi_uc *pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
            ASSERT_NE(pixels, nullptr) << name;
            const std::vector<uint8_t> decoded(pixels, pixels + static_cast<size_t>(width) * height * 4);
            stbi_image_free(pixels);
            const Image source = picture_from_source(name, font.image);
            EXPECT_EQ(width, source.width) << name;
            EXPECT_EQ(height, source.height) << name;
            EXPECT_TRUE(decoded == source.pixels) << name;
            if (const SheetLayout *layout = layout_find(name)) {
                EXPECT_EQ(width, layout->width) << name;
                EXPECT_EQ(height, layout->height) << name;
            }
        } else if (folder == "snd/") {
            Pcm pcm;
            ASSERT_TRUE(synth_build(FIXTURES + "/sounds/" + name + ".snd", &pcm)) << name;
            int channels = 0, rate = 0;
            short *samples = nullptr;
            const int frames = stb_vorbis_decode_memory(bytes.data(), static_cast<int>(bytes.size()), &channels, &rate, &samples);
            std::free(samples);
            EXPECT_EQ(rate, 44000) << name;
            EXPECT_EQ(channels, pcm.channels) << name;
            EXPECT_EQ(frames, pcm.frames) << name;
            channel_counts.insert(channels);
        } else {
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_EQ(text.find('#'), std::string::npos) << entry.path;
            EXPECT_EQ(text.find("\n\n"), std::string::npos) << entry.path;
        }
    }
    EXPECT_EQ(channel_counts, (std::set<int>{1, 2}));  // both kinds are exercised
}

TEST(FixtureArchive, TwoBuildsGiveTheSameBytes) {
    TempDir dir;
    ASSERT_TRUE(databuild_write(FIXTURES, dir.file("a.quob")));
    ASSERT_TRUE(databuild_write(FIXTURES, dir.file("b.quob")));
    const std::string first = read_file(dir.file("a.quob"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, read_file(dir.file("b.quob")));
    EXPECT_EQ(first, read_file(NUMBRAL_FIXTURE_ARCHIVE));  // the build's own came from the same sources
}

// The build's rule for an archive, in a project of its own that uses the
// real builder: removing a level's files rebuilds the archive without them.
TEST(ArchiveRule, ASourceRemovedIsGoneFromTheRebuiltArchive) {
    TempDir dir;
    const std::string content = dir.file("content");
    std::filesystem::copy(FIXTURES, content, std::filesystem::copy_options::recursive);
    write_file(content + "/levels/level9.txt", "title:Nine\n");
    write_file(content + "/levels/level9.map", "tileset fixture\nmap\n################\n################\n"
                                               "################\n################\n################\n"
                                               "################\n################\n################\n"
                                               "################\n");
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
    const std::string rebuilt = read_file(archive);
    EXPECT_EQ(rebuilt.find("level9"), std::string::npos);
    EXPECT_NE(rebuilt.find("data/level3.txt"), std::string::npos);
}

}  // namespace
