// The real executable started as a subprocess with a chosen environment.
#include "app/app.h"
#include "audio/audio.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <cstdlib>
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

// Each fault in the files start-up needs ends the program with status 1 and
// its own words: root may write anywhere, so the faults are things standing
// where a file or folder should be, not permissions.
TEST(Startup, EachFaultInItsFilesEndsWithItsMessage) {
    const std::string LOG_MESSAGE = "Cannot open log file. Be sure that this game has write rights. Now exiting.\n";
    const std::string SAVE_MESSAGE =
        "Save file error: Cannot write save file. Please ensure this cool game is able to write to your My "
        "Documents folder.\n";
    const std::string NO_SOUND = "audio_LoadSound > filename doesn't exist: snd/shoot0.ogg\n";
    struct Case {
        const char *name;
        void (*prepare)(const std::string &folder, const std::string &cwd);
        const std::string &out;
        const std::string &err;  // standard error ends with this
    };
    const std::string nothing;
    const Case cases[] = {
        // Without an archive every file is missing; the sound bank, loaded
        // before anything else is read, names the first.
        {"no archive", [](const std::string &, const std::string &) {}, NO_SOUND, nothing},
        {"an archive that is not a ZIP",
         [](const std::string &, const std::string &cwd) { write_file(cwd + "/data.quob", "not a zip"); }, NO_SOUND,
         nothing},
        {"a file where the save folder should be",
         [](const std::string &folder, const std::string &) { write_file(folder, "not a folder"); }, LOG_MESSAGE,
         nothing},
        {"a log file linked into a missing folder",
         [](const std::string &folder, const std::string &) {
             std::filesystem::create_directories(folder);
             std::filesystem::create_symlink(folder + "/gone/numbral.log", folder + "/numbral.log");
         },
         LOG_MESSAGE, nothing},
        {"a folder where the log file should be",
         [](const std::string &folder, const std::string &) {
             std::filesystem::create_directories(folder + "/numbral.log");
         },
         LOG_MESSAGE, nothing},
        {"a save file linked into a missing folder",
         [](const std::string &folder, const std::string &) {
             std::filesystem::create_directories(folder);
             std::filesystem::create_symlink(folder + "/gone/numbral.save", folder + "/numbral.save");
         },
         nothing, SAVE_MESSAGE},
        // A folder opens for reading on POSIX, yet would fail the first save
        // in the middle of a game: it is refused at start-up.
        {"a folder where the save file should be",
         [](const std::string &folder, const std::string &) {
             std::filesystem::create_directories(folder + "/numbral.save");
         },
         nothing, SAVE_MESSAGE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir profile;
        std::filesystem::create_directories(profile.path + "/My Documents/My Games");
        c.prepare(save_folder(profile), profile.path);
        const ProcessResult result = run_game({}, {"USERPROFILE=" + profile.path}, profile.path);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(result.err.size() >= c.err.size() &&
                    result.err.compare(result.err.size() - c.err.size(), c.err.size(), c.err) == 0)
            << result.err;
    }
}

TEST(Startup, AProfilePathTooLongForItsFilesIsRefusedBeforeCreatingAnything) {
    TempDir cwd;
    const std::string profile = cwd.path + "/" + std::string(4080, 'p');
    const ProcessResult result = run_game({}, {"USERPROFILE=" + profile}, cwd.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "Cannot open log file. Be sure that this game has write rights. Now exiting.\n");
}

// Where SDL would run the game unseen, or finds no sound device, start-up
// fails and says on standard error how to run it. A driver named on purpose
// is used as it is (every other test names its drivers).
TEST(Startup, WithoutADisplayOrSoundDeviceSaysHowToRunIt) {
    struct Case {
        const char *name;
        std::vector<std::string> environment;
        const char *advice;
    };
    const Case cases[] = {
        {"no display, no driver named", {"SDL_AUDIODRIVER=dummy", "XDG_RUNTIME_DIR=/nonexistent"},
         "set SDL_VIDEODRIVER on purpose"},
        {"an audio device that cannot open",
         {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/nonexistent/out.raw"},
         "SDL_AUDIODRIVER=dummy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir profile;
        write_file(profile.file("data.quob"), read_file(NUMBRAL_FIXTURE_ARCHIVE));
        std::vector<std::string> environment = c.environment;
        environment.push_back("USERPROFILE=" + profile.path);
        const ProcessResult result = run_process(NUMBRAL_EXE, {}, environment, profile.path, 20);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_NE(result.err.find(c.advice), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

// The options over a stored file, in the process itself: what each sets, and
// that the fullscreen it sets is the field that a later save stores.
TEST(CommandLine, OptionsSetTheirFieldsOverTheStoredSettings) {
    struct Case {
        std::vector<std::string> arguments;
        bool stored_fullscreen;
        int result;
        bool fullscreen, sound;
    };
    const Case cases[] = {
        {{}, false, 1, false, true},
        {{}, true, 1, true, true},
        {{"-f"}, false, 1, true, true},
        {{"--fullscreen"}, false, 1, true, true},
        {{"--nosound"}, false, 1, false, false},
        {{"-n", "--fullscreen"}, false, 1, true, false},
        {{"-j", "-F", "--Fullscreen", "-fullscreen", "--nosound "}, false, 1, false, true},
        {{"-f", "--help"}, false, 0, true, true},
    };
    for (const Case &c : cases) {
        std::string trace;
        for (const std::string &a : c.arguments) trace += a + " ";
        SCOPED_TRACE(trace + (c.stored_fullscreen ? "(stored fullscreen:1)" : "(stored fullscreen:0)"));
        TempDir profile;
        setenv("USERPROFILE", profile.path.c_str(), 1);
        std::filesystem::create_directories(save_folder(profile));
        write_file(save_folder(profile) + "/numbral.save",
                   std::string("volume:0.3\nfullscreen:") + (c.stored_fullscreen ? "1" : "0") + "\n");
        std::vector<std::string> strings = {"numbral"};
        strings.insert(strings.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char *> argv;
        for (std::string &a : strings) argv.push_back(a.data());
        argv.push_back(nullptr);

        EXPECT_EQ(app_prepare_user_files(static_cast<int>(strings.size()), argv.data()), c.result);
        EXPECT_EQ(settings.fullscreen, c.fullscreen);
        EXPECT_EQ(sound_enabled, c.sound);
        EXPECT_EQ(settings.volume, 0.3f);  // --nosound keeps the stored volume
        settings_save();
        EXPECT_EQ(read_file(save_folder(profile) + "/numbral.save"),
                  std::string("volume:0.300000\nfullscreen:") + (c.fullscreen ? "1" : "0") +
                      "\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n");
    }
    unsetenv("USERPROFILE");
}
