#include "app/app.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <string>

namespace {

const char DEFAULTS[] = "volume:0.750000\nfullscreen:0\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n";

// The settings after reading text over the defaults, as the file would store them.
std::string read_back(const std::string &text) {
    settings_apply_defaults();
    std::string copy = text;
    settings_parse(copy.data());
    char out[512];
    settings_format(out, sizeof out);
    return out;
}

void use_save_path(const std::string &path) {
    std::snprintf(app_save_path, sizeof app_save_path, "%s", path.c_str());
}

// Message boxes fail at once without a display instead of waiting.
void save_without_display(rlim_t file_size_limit) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = file_size_limit;
    setrlimit(RLIMIT_FSIZE, &limit);
    settings_save();
}

}  // namespace

TEST(SettingsFile, ReadsItsKeysAndIgnoresWhatItCannotUse) {
    struct Case { const char *text, *stored; };
    const Case cases[] = {
        {"", DEFAULTS},
        {"volume:0.3\nfullscreen:1\nbuttstomp:1\nsavelevel:4\nsavecheckpoint:2\nextra:9\n",
         "volume:0.300000\nfullscreen:1\nsavelevel:4\nsavecheckpoint:2\nbuttstomp:1\n"},
        {"volume:\nvolume\nVolume:0.1\n", DEFAULTS},  // one field, no field, wrong case
        {"volume:abc", "volume:0.000000\nfullscreen:0\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n"},
        {"::volume:5\r\n", "volume:5.000000\nfullscreen:0\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n"},
        {"savelevel:7abc\n\n\nsavecheckpoint:3\nsavecheckpoint:5",
         "volume:0.750000\nfullscreen:0\nsavelevel:7\nsavecheckpoint:5\nbuttstomp:0\n"},
    };
    for (const Case &c : cases) EXPECT_EQ(read_back(c.text), c.stored) << c.text;
}

TEST(SettingsFile, FlagsAreOnOnlyForTheNumberOne) {
    for (const char *on : {"1", "01", " 1", "1\r", "+1"}) {
        EXPECT_EQ(read_back(std::string("fullscreen:") + on + "\nbuttstomp:" + on),
                  "volume:0.750000\nfullscreen:1\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:1\n") << on;
    }
    for (const char *off : {"2", "yes", "0", "-1"}) {
        EXPECT_EQ(read_back(std::string("fullscreen:") + off + "\nbuttstomp:" + off), DEFAULTS) << off;
    }
}

TEST(SettingsFile, SavesFiveLinesThatReadBackTheSame) {
    TempDir dir;
    use_save_path(dir.file("numbral.save"));
    settings = {0.35f, true, false, 12, -3};
    settings_save();
    const std::string stored = "volume:0.350000\nfullscreen:1\nsavelevel:12\nsavecheckpoint:-3\nbuttstomp:0\n";
    EXPECT_EQ(read_file(app_save_path), stored);
    EXPECT_FALSE(path_exists(dir.file("numbral.save.tmp")));

    // A file larger than the first read buffer is read whole.
    write_file(app_save_path, std::string(5000, '\n') + stored);
    settings_apply_defaults();
    settings_load();
    char out[512];
    settings_format(out, sizeof out);
    EXPECT_EQ(out, stored);
}

TEST(SettingsFileDeathTest, AFailedSaveExitsWithOneAndKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string old_content = "volume:0.200000\nfullscreen:0\nsavelevel:3\nsavecheckpoint:1\nbuttstomp:1\n";
    settings = {0.9f, true, false, 5, 5};
    {
        // A folder where the temporary file must go stops the write, also
        // for root, which file permissions would not stop.
        TempDir dir;
        use_save_path(dir.file("numbral.save"));
        write_file(app_save_path, old_content);
        ASSERT_EQ(mkdir(dir.file("numbral.save.tmp").c_str(), 0755), 0);
        EXPECT_EXIT(save_without_display(RLIM_INFINITY), testing::ExitedWithCode(1), "");
        EXPECT_EQ(read_file(app_save_path), old_content);
    }
    {
        // A file-size limit stops the write midway, as a full disk would.
        TempDir dir;
        use_save_path(dir.file("numbral.save"));
        write_file(app_save_path, old_content);
        EXPECT_EXIT(save_without_display(16), testing::ExitedWithCode(1), "");
        EXPECT_EQ(read_file(app_save_path), old_content);
        EXPECT_FALSE(path_exists(dir.file("numbral.save.tmp")));
    }
}
