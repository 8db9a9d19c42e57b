// The real executable started as a subprocess with a chosen environment.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <string>
#include <vector>

namespace {

const std::string NO_PROFILE = "Cannot find USERPROFILE environment variable. Now exiting.\n";

ProcessResult run_game(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                       const std::string &working_dir) {
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};
    env.insert(env.end(), environment.begin(), environment.end());
    return run_process(NUMBRAL_EXE, arguments, env, working_dir);
}

std::string save_folder(const TempDir &profile) {
    return profile.path + "/My Documents/My Games/NUMBRAL";
}

}  // namespace

TEST(Startup, WithoutAProfileFolderPrintsWhyAndCreatesNothing) {
    TempDir cwd;
    const ProcessResult result = run_game({}, {}, cwd.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, NO_PROFILE);
    EXPECT_TRUE(read_file(cwd.path).empty());
}

TEST(Startup, CreatesEachMissingFolderLevelAndBothFiles) {
    TempDir profile;
    mkdir((profile.path + "/My Documents").c_str(), 0755);
    write_file(profile.path + "/My Documents/keep.txt", "mine");
    const ProcessResult result = run_game({"--help"}, {"USERPROFILE=" + profile.path}, profile.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(profile.path + "/My Documents/keep.txt"), "mine");
    EXPECT_TRUE(path_exists(save_folder(profile) + "/numbral.log"));
    EXPECT_TRUE(path_exists(save_folder(profile) + "/numbral.save"));
    EXPECT_EQ(read_file(save_folder(profile) + "/numbral.log"), "");
    EXPECT_EQ(read_file(save_folder(profile) + "/numbral.save"), "");
}

TEST(Startup, ExistingLogAndSaveKeepTheirBytes) {
    TempDir profile;
    const std::string folder = save_folder(profile);
    std::filesystem::create_directories(folder);
    write_file(folder + "/numbral.log", "old log\n");
    const std::string save = "volume:0.500000\nfullscreen:0\nsavelevel:3\nsavecheckpoint:1\nbuttstomp:1\n";
    write_file(folder + "/numbral.save", save);
    const ProcessResult result = run_game({"--fullscreen", "-v"}, {"USERPROFILE=" + profile.path}, profile.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(read_file(folder + "/numbral.log"), "old log\n");
    EXPECT_EQ(read_file(folder + "/numbral.save"), save);
}

TEST(Startup, HelpAndVersionEndTheProgramWithStatusOneWherever) {
    const std::vector<std::vector<std::string>> argument_lists = {
        {"--help"}, {"-h"}, {"/?"}, {"--version"}, {"-v"},
        {"--fullscreen", "--help"}, {"--help", "--fullscreen"}, {"-f", "-n", "-j", "-v"},
    };
    TempDir profile;
    for (const auto &arguments : argument_lists) {
        const ProcessResult result = run_game(arguments, {"USERPROFILE=" + profile.path}, profile.path);
        EXPECT_EQ(result.exit_status, 1) << arguments.front();
        EXPECT_EQ(result.out, "") << arguments.front();
    }
}

TEST(Startup, WithoutUserProfileTheSavesFollowTheDataHomeConvention) {
    TempDir home;
    ProcessResult result = run_game({"--help"}, {"HOME=" + home.path, "XDG_DATA_HOME=relative/ignored"}, home.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(path_exists(home.path + "/.local/share/NUMBRAL/numbral.save"));
    EXPECT_FALSE(path_exists(home.path + "/relative/ignored/NUMBRAL/numbral.save"));

    TempDir data_home;
    result = run_game({"-h"}, {"HOME=" + home.path, "XDG_DATA_HOME=" + data_home.path}, home.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(path_exists(data_home.path + "/NUMBRAL/numbral.log"));
    EXPECT_TRUE(path_exists(data_home.path + "/NUMBRAL/numbral.save"));
}

TEST(Startup, AnUnwritableSaveFolderEndsWithTheLogFileMessage) {
    TempDir profile;
    // A file where the game's folder should be: nothing can be created in it.
    std::filesystem::create_directories(profile.path + "/My Documents/My Games");
    write_file(profile.path + "/My Documents/My Games/NUMBRAL", "not a folder");
    const ProcessResult result = run_game({}, {"USERPROFILE=" + profile.path}, profile.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "Cannot open log file. Be sure that this game has write rights. Now exiting.\n");
}

TEST(Startup, AProfilePathTooLongForItsFilesIsRefusedBeforeCreatingAnything) {
    TempDir cwd;
    const std::string profile = cwd.path + "/" + std::string(4080, 'p');
    const ProcessResult result = run_game({}, {"USERPROFILE=" + profile}, cwd.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "Cannot open log file. Be sure that this game has write rights. Now exiting.\n");
}
