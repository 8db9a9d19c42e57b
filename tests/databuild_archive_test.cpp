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

TEST(FixtureArchive, OpensInPhysfsAndListsExactlyTheExpectedPaths) {
    ASSERT_TRUE(PHYSFS_isInit() || PHYSFS_init(nullptr));
    unmount_test_archives();
    ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();
    EXPECT_EQ(physfs_list(""), (std::vector<std::string>{"data", "img", "snd"}));
    EXPECT_EQ(physfs_list("data"), (std::vector<std::string>{"cutscene1.txt", "cutscene2.txt", "cutscene5.txt",
                                                             "level0.txt", "level3.txt", "level4.txt"}));
    EXPECT_EQ(physfs_list("img"), (std::vector<std::string>{"boss.png", "cutscene1.png", "cutscene2.png", "cutscene5.png",
                                                            "doodads.png", "effects.png", "enemies.png", "level0.png",
                                                            "level3-rear.png", "level3.png", "level4-fg.png", "level4.png",
                                                            "pickups.png", "projectiles.png", "tinyfont.png", "ui.png"}));
    std::vector<std::string> sounds;
    for (int i = 0; i < SOUND_COUNT; ++i) sounds.push_back(std::string(sound_name(i)) + ".ogg");
    std::sort(sounds.begin(), sounds.end());
    EXPECT_EQ(physfs_list("snd"), sounds);
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

}  // namespace
