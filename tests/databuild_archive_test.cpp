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

std::vector<std::string> physfs_list(const char *folder) {
    std::vector<std::string> names;
    char **files = PHYSFS_enumerateFiles(folder);
    for (char **f = files; f && *f; ++f) names.push_back(*f);
    PHYSFS_freeList(files);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FixtureArchive, OpensInPhysfsAndListsExactlyTheExpectedPaths) {
    ASSERT_TRUE(path_exists(NUMBRAL_FIXTURE_ARCHIVE));
    if (!PHYSFS_isInit()) {
        ASSERT_NE(PHYSFS_init(nullptr), 0);
    }
    unmount_test_archives();
    ASSERT_NE(PHYSFS_mount(NUMBRAL_FIXTURE_ARCHIVE, nullptr, 1), 0) << PHYSFS_getLastErrorCode();

    EXPECT_EQ(physfs_list(""), (std::vector<std::string>{"data", "img", "snd"}));
    EXPECT_EQ(physfs_list("data"), (std::vector<std::string>{"cutscene1.txt", "cutscene2.txt", "cutscene5.txt", "level0.txt",
                                                             "level3.txt", "level4.txt"}));
    EXPECT_EQ(physfs_list("img"),
              (std::vector<std::string>{"boss.png", "cutscene1.png", "cutscene2.png", "cutscene5.png", "doodads.png", "effects.png",
                                        "enemies.png", "level0.png", "level3-rear.png", "level3.png", "level4-fg.png", "level4.png",
                                        "pickups.png", "projectiles.png", "tinyfont.png", "ui.png"}));
    std::vector<std::string> sounds;
    for (int i = 0; i < SOUND_COUNT; ++i) sounds.push_back(std::string(sound_name(i)) + ".ogg");
    std::sort(sounds.begin(), sounds.end());
    EXPECT_EQ(physfs_list("snd"), sounds);
    unmount_test_archives();
}

// The picture a source makes, built directly from the source.
Image picture_from_source(const std::string &root, const std::string &name, const Image &font) {
    ArtContext context;
    context.content_dir = root;
    context.font = &font;
    Art art;
    const std::string art_path = root + "/images/" + name + ".art";
    if (path_exists(art_path)) {
        EXPECT_TRUE(art_build(art_path, name, context, &art)) << name;
        return art.image;
    }
    TileMap map;
    EXPECT_TRUE(map_build(root + "/levels/" + name + ".map", context, &map)) << name;
    return map.picture;
}

TEST(FixtureArchive, EveryPictureIsAnRgbaPngThatDecodesToItsSourcePixels) {
    diag_reset();
    const BuildOutcome outcome = build_content(NUMBRAL_FIXTURE_DIR);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    Art font;
    ASSERT_TRUE(art_build(std::string(NUMBRAL_FIXTURE_DIR) + "/images/tinyfont.art", "tinyfont", {NUMBRAL_FIXTURE_DIR, nullptr}, &font));
    int pictures = 0;
    for (const ArchiveEntry &entry : outcome.entries) {
        if (entry.path.rfind("img/", 0) != 0) continue;
        ++pictures;
        const std::vector<uint8_t> &png = entry.bytes;
        ASSERT_GT(png.size(), 33u);
        // IHDR: 8 bits, RGBA, not interlaced: what the game's decoder takes.
        EXPECT_EQ(png[24], 8) << entry.path;
        EXPECT_EQ(png[25], 6) << entry.path;
        EXPECT_EQ(png[28], 0) << entry.path;

        int width = 0, height = 0, channels = 0;
        stbi_uc *pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height, &channels, 4);
        ASSERT_NE(pixels, nullptr) << entry.path;
        const std::string name = entry.path.substr(4, entry.path.size() - 8);
        const Image source = picture_from_source(NUMBRAL_FIXTURE_DIR, name, font.image);
        EXPECT_EQ(width, source.width) << name;
        EXPECT_EQ(height, source.height) << name;
        if (width == source.width && height == source.height) {
            EXPECT_TRUE(std::equal(source.pixels.begin(), source.pixels.end(), pixels)) << name;
        }
        if (const SheetLayout *layout = layout_find(name)) {
            EXPECT_EQ(width, layout->width) << name;
            EXPECT_EQ(height, layout->height) << name;
        }
        stbi_image_free(pixels);
    }
    EXPECT_EQ(pictures, 16);
}

TEST(FixtureArchive, EverySoundDecodesAt44000ToItsRenderedChannelsAndLength) {
    const BuildOutcome outcome = build_content(NUMBRAL_FIXTURE_DIR);
    ASSERT_TRUE(outcome.ok) << outcome.messages;
    std::set<int> channel_counts;
    for (int i = 0; i < SOUND_COUNT; ++i) {
        const std::string name = sound_name(i);
        const ArchiveEntry *entry = find_entry(outcome, "snd/" + name + ".ogg");
        ASSERT_NE(entry, nullptr) << name;
        Pcm pcm;
        ASSERT_TRUE(synth_build(std::string(NUMBRAL_FIXTURE_DIR) + "/sounds/" + name + ".snd", &pcm)) << name;
        int channels = 0, rate = 0;
        short *samples = nullptr;
        const int frames = stb_vorbis_decode_memory(entry->bytes.data(), static_cast<int>(entry->bytes.size()), &channels, &rate, &samples);
        std::free(samples);
        EXPECT_EQ(rate, 44000) << name;
        EXPECT_EQ(channels, pcm.channels) << name;
        EXPECT_EQ(frames, pcm.frames) << name;
        channel_counts.insert(channels);
    }
    EXPECT_EQ(channel_counts, (std::set<int>{1, 2}));  // both kinds are exercised
}

TEST(FixtureArchive, TwoBuildsGiveTheSameBytes) {
    TempDir dir;
    diag_reset();
    ASSERT_TRUE(databuild_write(NUMBRAL_FIXTURE_DIR, dir.file("a.quob")));
    ASSERT_TRUE(databuild_write(NUMBRAL_FIXTURE_DIR, dir.file("b.quob")));
    const std::string first = read_file(dir.file("a.quob"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, read_file(dir.file("b.quob")));
    // The build's own archive came from the same builder and sources.
    EXPECT_EQ(first, read_file(NUMBRAL_FIXTURE_ARCHIVE));
}

}  // namespace
