#include "app/app.h"
#include "app/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <string>

namespace {

Settings parsed(const std::string &text) {
    settings_apply_defaults();
    std::string copy = text;
    settings_parse(copy.data());
    return settings;
}

std::string formatted() {
    char text[512];
    settings_format(text, sizeof text);
    return text;
}

void use_save_path(const std::string &path) {
    std::snprintf(app_save_path, sizeof app_save_path, "%s", path.c_str());
}

// Message boxes fail at once without a display instead of waiting.
void without_display() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
}

void limit_file_size(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = bytes;
    limit.rlim_max = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace

TEST(SettingsFile, ReadsEveryKeyAndIgnoresTheRest) {
    const Settings s = parsed("volume:0.3\nfullscreen:1\nbuttstomp:1\nsavelevel:4\nsavecheckpoint:2\nextra:9\n");
    EXPECT_FLOAT_EQ(s.volume, 0.3f);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_TRUE(s.buttstomp);
    EXPECT_EQ(s.savelevel, 4);
    EXPECT_EQ(s.savecheckpoint, 2);
}

TEST(SettingsFile, EmptyFileKeepsTheDefaults) {
    const Settings s = parsed("");
    EXPECT_FLOAT_EQ(s.volume, 0.75f);
    EXPECT_FALSE(s.fullscreen);
    EXPECT_FALSE(s.buttstomp);
    EXPECT_EQ(s.savelevel, -1);
    EXPECT_EQ(s.savecheckpoint, -1);
}

TEST(SettingsFile, FlagsAreOnOnlyForTheNumberOne) {
    struct Case { const char *value; bool on; };
    const Case cases[] = {{"1", true}, {"01", true}, {" 1", true}, {"1\r", true}, {"+1", true},
                          {"2", false}, {"yes", false}, {"0", false}, {"-1", false}};
    for (const Case &c : cases) {
        EXPECT_EQ(parsed(std::string("fullscreen:") + c.value).fullscreen, c.on) << c.value;
        EXPECT_EQ(parsed(std::string("buttstomp:") + c.value).buttstomp, c.on) << c.value;
    }
}

TEST(SettingsFile, MalformedLinesAreIgnoredAndNumbersReadTheirPrefix) {
    EXPECT_FLOAT_EQ(parsed("volume:").volume, 0.75f);          // one field
    EXPECT_FLOAT_EQ(parsed("volume").volume, 0.75f);
    EXPECT_FLOAT_EQ(parsed("volume:abc").volume, 0.0f);
    EXPECT_FLOAT_EQ(parsed("Volume:0.1").volume, 0.75f);       // keys are case-sensitive
    EXPECT_FLOAT_EQ(parsed("::volume:0.3").volume, 0.3f);      // empty fields vanish
    EXPECT_FLOAT_EQ(parsed("volume:5").volume, 5.0f);          // not clamped
    EXPECT_FLOAT_EQ(parsed("volume:0.2\r\n").volume, 0.2f);
    EXPECT_EQ(parsed("savelevel:7abc").savelevel, 7);
    EXPECT_EQ(parsed("savelevel:3\n\n\nsavelevel:5").savelevel, 5);  // the last line wins
}

TEST(SettingsFile, WritesTheFiveLinesByteForByte) {
    settings_apply_defaults();
    EXPECT_EQ(formatted(), "volume:0.750000\nfullscreen:0\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n");
    settings = {0.35f, true, true, 12, -3};
    EXPECT_EQ(formatted(), "volume:0.350000\nfullscreen:1\nsavelevel:12\nsavecheckpoint:-3\nbuttstomp:1\n");
}

TEST(SettingsFile, SavedFileReadsBackTheSameValues) {
    TempDir dir;
    use_save_path(dir.file("numbral.save"));
    settings = {0.45f, true, false, 3, 2};
    settings_save();
    settings_apply_defaults();
    settings_load();
    EXPECT_FLOAT_EQ(settings.volume, 0.45f);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_FALSE(settings.buttstomp);
    EXPECT_EQ(settings.savelevel, 3);
    EXPECT_EQ(settings.savecheckpoint, 2);
    EXPECT_FALSE(path_exists(dir.file("numbral.save.tmp")));
}

TEST(SettingsFile, LoadReadsLargeFilesWhole) {
    TempDir dir;
    use_save_path(dir.file("numbral.save"));
    std::string text(5000, '\n');
    text += "savelevel:9\n";
    write_file(app_save_path, text);
    settings_apply_defaults();
    settings_load();
    EXPECT_EQ(settings.savelevel, 9);
}

TEST(SettingsFile, MissingFileLeavesTheFieldsAlone) {
    TempDir dir;
    use_save_path(dir.file("absent.save"));
    settings = {0.1f, true, true, 2, 2};
    settings_load();
    EXPECT_FLOAT_EQ(settings.volume, 0.1f);
    EXPECT_EQ(settings.savelevel, 2);
}

TEST(SettingsFileDeathTest, FailedSaveExitsWithOneAndKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string save = dir.file("numbral.save");
    const std::string old_content = "volume:0.200000\nfullscreen:0\nsavelevel:3\nsavecheckpoint:1\nbuttstomp:1\n";
    write_file(save, old_content);
    use_save_path(save);
    // A folder where the temporary file must go makes the write fail, also
    // for root, which file permissions would not stop.
    ASSERT_EQ(mkdir(dir.file("numbral.save.tmp").c_str(), 0755), 0);
    settings = {0.9f, true, false, 5, 5};
    EXPECT_EXIT({ without_display(); settings_save(); }, testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(save), old_content);
}

TEST(SettingsFileDeathTest, SaveThatRunsOutOfSpaceKeepsTheOldFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string save = dir.file("numbral.save");
    const std::string old_content = "volume:0.200000\nfullscreen:1\nsavelevel:3\nsavecheckpoint:1\nbuttstomp:0\n";
    write_file(save, old_content);
    use_save_path(save);
    settings = {0.9f, false, false, 5, 5};
    // A file-size limit of 16 bytes stops the write midway, as a full disk would.
    EXPECT_EXIT({ without_display(); limit_file_size(16); settings_save(); }, testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(save), old_content);
    EXPECT_FALSE(path_exists(dir.file("numbral.save.tmp")));
}
