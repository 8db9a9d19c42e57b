// The real executable started as a subprocess with a chosen environment,
// and the command line's options read in the process itself.
#include "app/app.h"
#include "audio/audio.h"
#include "common/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string LOG_MESSAGE = "Cannot open log file. Be sure that this game has write rights. Now exiting.\n";

ProcessResult run_game(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
                       const std::string &working_dir) {
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};
    env.insert(env.end(), environment.begin(), environment.end());
    return run_process(NUMBRAL_EXE, arguments, env, working_dir);
}

std::string save_folder(const std::string &profile) { return profile + "/My Documents/My Games/NUMBRAL"; }

}  // namespace

// No profile folder, or one too long for its files: the program says why
// and creates nothing.
TEST(Startup, WithoutAUsableProfileFolderPrintsWhyAndCreatesNothing) {
    TempDir cwd;
    struct Case { std::vector<std::string> environment; std::string out; };
    const Case cases[] = {
        {{}, "Cannot find USERPROFILE environment variable. Now exiting.\n"},
        {{"USERPROFILE=" + cwd.path + "/" + std::string(4080, 'p')}, LOG_MESSAGE},
    };
    for (const Case &c : cases) {
        const ProcessResult result = run_game({}, c.environment, cwd.path);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(fs::is_empty(cwd.path));
    }
}

// Help and version end the program with status 1 after the files exist.
TEST(Startup, CreatesEachMissingFolderLevelAndBothFilesAndKeepsExistingBytes) {
    TempDir profile;
    const std::string folder = save_folder(profile.path);
    fs::create_directories(profile.path + "/My Documents");
    write_file(profile.path + "/My Documents/keep.txt", "mine");
    ProcessResult result = run_game({"--help"}, {"USERPROFILE=" + profile.path}, profile.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(profile.path + "/My Documents/keep.txt"), "mine");
    EXPECT_TRUE(fs::is_regular_file(folder + "/numbral.log") && fs::is_regular_file(folder + "/numbral.save"));
    EXPECT_EQ(read_file(folder + "/numbral.log") + read_file(folder + "/numbral.save"), "");

    const std::string save = "volume:0.500000\nfullscreen:0\nsavelevel:3\nsavecheckpoint:1\nbuttstomp:1\n";
    write_file(folder + "/numbral.log", "old log\n");
    write_file(folder + "/numbral.save", save);
    result = run_game({"--fullscreen", "-v"}, {"USERPROFILE=" + profile.path}, profile.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(read_file(folder + "/numbral.log"), "old log\n");
    EXPECT_EQ(read_file(folder + "/numbral.save"), save);
}

TEST(Startup, WithoutUserProfileTheSavesFollowTheDataHomeConvention) {
    TempDir home, data_home;
    ProcessResult result =
        run_game({"--help"}, {"HOME=" + home.path, "XDG_DATA_HOME=relative/ignored"}, home.path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(path_exists(home.path + "/.local/share/NUMBRAL/numbral.save"));
    EXPECT_FALSE(path_exists(home.path + "/relative/ignored/NUMBRAL/numbral.save"));

    result = run_game({"-h"}, {"HOME=" + home.path, "XDG_DATA_HOME=" + data_home.path}, home.path);
    EXPECT_TRUE(path_exists(data_home.path + "/NUMBRAL/numbral.log"));
    EXPECT_TRUE(path_exists(data_home.path + "/NUMBRAL/numbral.save"));
}

// Each fault in the files start-up needs ends the program with status 1 and
// its own words: root may write anywhere, so the faults are things standing
// where a file or folder should be, not permissions.
TEST(Startup, EachFaultInItsFilesEndsWithItsMessage) {
    const std::string SAVE_MESSAGE =
        "Save file error: Cannot write save file. Please ensure this cool game is able to write to your My "
        "Documents folder.\n";
    // Without an archive every file is missing; the sound bank, loaded
    // before anything else is read, names the first.
    const std::string NO_SOUND = "audio_LoadSound > filename doesn't exist: snd/shoot0.ogg\n";
    // What stands where: a file or a folder at a path under the profile, or
    // a link from the save file into a missing folder.
    enum Kind { NOTHING, PLAIN_FILE, FOLDER, DANGLING_LINK };
    struct Case { Kind kind; const char *path; std::string out, err_end; };
    const Case cases[] = {
        {NOTHING, "", NO_SOUND, ""},
        {PLAIN_FILE, "data.quob", NO_SOUND, ""},  // not a ZIP
        {PLAIN_FILE, "My Documents/My Games/NUMBRAL", LOG_MESSAGE, ""},
        {FOLDER, "My Documents/My Games/NUMBRAL/numbral.log", LOG_MESSAGE, ""},
        // A folder opens for reading on POSIX, yet would fail the first save
        // in the middle of a game: it is refused at start-up.
        {FOLDER, "My Documents/My Games/NUMBRAL/numbral.save", "", SAVE_MESSAGE},
        {DANGLING_LINK, "My Documents/My Games/NUMBRAL/numbral.save", "", SAVE_MESSAGE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        TempDir profile;
        const std::string path = profile.file(c.path);
        fs::create_directories(fs::path(path).parent_path());
        if (c.kind == PLAIN_FILE) write_file(path, "not what is wanted");
        if (c.kind == FOLDER) fs::create_directories(path);
        if (c.kind == DANGLING_LINK) fs::create_symlink(profile.file("gone/numbral.save"), path);
        const ProcessResult result = run_game({}, {"USERPROFILE=" + profile.path}, profile.path);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(result.err.ends_with(c.err_end)) << result.err;
    }
}
// Where SDL would run the game unseen, or finds no sound device, start-up
// fails and says on standard error how to run it. A driver named on purpose
// is used as it is (every other test names its drivers).
TEST(Startup, WithoutADisplayOrSoundDeviceSaysHowToRunIt) {
    struct Case { std::vector<std::string> environment; const char *advice; };
    const Case cases[] = {
        {{"SDL_AUDIODRIVER=dummy", "XDG_RUNTIME_DIR=/nonexistent"}, "set SDL_VIDEODRIVER on purpose"},
        {{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/nonexistent/out.raw"},
         "SDL_AUDIODRIVER=dummy"},
    };
    for (const Case &c : cases) {
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

// The options over a stored file, in the process itself: what each sets
// (help and version stop the reading), and that the fullscreen it sets is
// the field that a later save stores.
TEST(CommandLine, OptionsSetTheirFieldsOverTheStoredSettings) {
    struct Case {
        std::vector<std::string> arguments;
        bool stored_fullscreen;
        int result;
        bool fullscreen, sound;
    };
    const Case cases[] = {
        {{}, false, 1, false, true}, {{}, true, 1, true, true}, {{"-f"}, false, 1, true, true},
        {{"--fullscreen"}, false, 1, true, true}, {{"--nosound"}, false, 1, false, false},
        {{"-n", "--fullscreen"}, false, 1, true, false},
        {{"-j", "-F", "--Fullscreen", "-fullscreen", "--nosound "}, false, 1, false, true},
        {{"-f", "--help"}, false, 0, true, true}, {{"--version", "-f", "-n"}, false, 0, false, true},
        {{"-h"}, false, 0, false, true}, {{"/?"}, false, 0, false, true}, {{"-v"}, false, 0, false, true},
    };
    TempDir profile;
    setenv("USERPROFILE", profile.path.c_str(), 1);
    const std::string save = save_folder(profile.path) + "/numbral.save";
    fs::create_directories(save_folder(profile.path));
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        write_file(save, std::string("volume:0.3\nfullscreen:") + (c.stored_fullscreen ? "1" : "0") + "\n");
        std::vector<std::string> strings = {"numbral"};
        strings.insert(strings.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char *> argv;
        for (std::string &a : strings) argv.push_back(a.data());
        argv.push_back(nullptr);

        EXPECT_EQ(app_prepare_user_files(static_cast<int>(strings.size()), argv.data()), c.result);
        EXPECT_EQ(settings.fullscreen, c.fullscreen);
        EXPECT_EQ(sound_enabled, c.sound);
        settings_save();
        EXPECT_EQ(read_file(save), std::string("volume:0.300000\nfullscreen:") + (c.fullscreen ? "1" : "0") +
                                       "\nsavelevel:-1\nsavecheckpoint:-1\nbuttstomp:0\n");
    }
    unsetenv("USERPROFILE");
}
