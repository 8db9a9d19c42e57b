#include "app/app.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

// The message box as a failed save shows it, written to standard error
// (where the death tests read it) instead of waiting for a click.
extern "C" int SDL_ShowSimpleMessageBox(Uint32 flags, const char *title, const char *message,
                                        SDL_Window *window) {
    // A file-size limit that stopped the save must not cut this line short.
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::fprintf(stderr, "box: %s; title: %s; text: %s; %s\n", flags == SDL_MESSAGEBOX_ERROR ? "error" : "other",
                 title, message, window ? "parent" : "no parent");
    return -1;
}

namespace {

const char SAVE_FILE_BOX[] =
    "box: error; title: Save file error; text: Cannot write save file. Please ensure this cool game is able "
    "to write to your My Documents folder.; no parent";

// The file as it stores these values.
std::string stored(const char *volume = "0.750000", int fullscreen = 0, int level = -1, int checkpoint = -1,
                   int buttstomp = 0) {
    char text[256];
    std::snprintf(text, sizeof text, "volume:%s\nfullscreen:%d\nsavelevel:%d\nsavecheckpoint:%d\nbuttstomp:%d\n",
                  volume, fullscreen, level, checkpoint, buttstomp);
    return text;
}

// The settings after reading text over the defaults, as the file would store them.
std::string read_back(std::string text) {
    settings_apply_defaults();
    settings_parse(text.data());
    char out[512];
    settings_format(out, sizeof out);
    return out;
}

void use_save_path(const std::string &path) {
    std::snprintf(app_save_path, sizeof app_save_path, "%s", path.c_str());
}

// Saves with a limit on the size of files this process writes.
void save_with_size_limit(rlim_t file_size_limit) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = file_size_limit;
    setrlimit(RLIMIT_FSIZE, &limit);
    settings_save();
}

}  // namespace

// Flags are on only for the number one.
TEST(SettingsFile, ReadsItsKeysAndIgnoresWhatItCannotUse) {
    struct Case { const char *text; std::string stored; };
    const Case cases[] = {
        {"", stored()},
        {"volume:0.3\nfullscreen:1\nbuttstomp:1\nsavelevel:4\nsavecheckpoint:2\nextra:9\n",
         stored("0.300000", 1, 4, 2, 1)},
        {"volume:\nvolume\nVolume:0.1\n", stored()},  // one field, no field, wrong case
        {"::volume:5\r\n", stored("5.000000")},
        {"volume:1e39", stored("0.000000")},  // past the float range
        {"savelevel:7abc\n\n\nsavecheckpoint:3\nsavecheckpoint:5", stored("0.750000", 0, 7, 5)},
        {"fullscreen:01\nbuttstomp:+1\r", stored("0.750000", 1, -1, -1, 1)},
        {"fullscreen:2\nbuttstomp:-1", stored()},
    };
    for (const Case &c : cases) EXPECT_EQ(read_back(c.text), c.stored) << c.text;
}

TEST(SettingsFile, SavesFiveLinesThatReadBackTheSame) {
    TempDir dir;
    use_save_path(dir.file("numbral.save"));
    settings = {0.35f, true, false, 12, -3};
    settings_save();
    EXPECT_FALSE(path_exists(dir.file("numbral.save.tmp")));

    // A file larger than the first read buffer is read whole.
    write_file(app_save_path, std::string(5000, '\n') + read_file(app_save_path));
    settings_apply_defaults();
    settings_load();
    char out[512];
    settings_format(out, sizeof out);
    EXPECT_EQ(out, stored("0.350000", 1, 12, -3));
}

// Whatever stops the new file from replacing the old one, the save shows the
// "Save file error" box and exits with 1, leaving the old file as it was and
// no temporary file behind.
TEST(SettingsFileDeathTest, AFailedSaveExitsWithOneAndKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    settings = {0.9f, true, false, 5, 5};
    struct Case { const char *name; rlim_t file_size_limit; void (*prepare)(const TempDir &); };
    const Case cases[] = {
        // A folder where the temporary file must go stops the write, also
        // for root, which file permissions would not stop.
        {"temporary file blocked", RLIM_INFINITY,
         [](const TempDir &dir) { ASSERT_EQ(mkdir(dir.file("numbral.save.tmp").c_str(), 0755), 0); }},
        // A file-size limit stops the write midway, as a full disk would.
        {"disk full", 16, [](const TempDir &) {}},
        // A written file that cannot take the old one's place.
        {"final rename fails", RLIM_INFINITY,
         [](const TempDir &dir) {
             std::filesystem::remove(dir.file("numbral.save"));
             std::filesystem::create_directories(dir.file("numbral.save/in-the-way"));
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        use_save_path(dir.file("numbral.save"));
        write_file(app_save_path, stored("0.200000", 0, 3, 1, 1));
        c.prepare(dir);
        const std::string before = read_file(app_save_path);
        EXPECT_EXIT(save_with_size_limit(c.file_size_limit), testing::ExitedWithCode(1), SAVE_FILE_BOX);
        EXPECT_EQ(read_file(app_save_path), before);
        EXPECT_FALSE(std::filesystem::is_regular_file(dir.file("numbral.save.tmp")));
    }
}
