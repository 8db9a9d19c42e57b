// The game started from any folder: the archive found from the executable's
// folder, the order of the archives, and the players' controller mappings.
#include "app/install.h"
#include "audio/audio.h"
#include "platform/platform.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytes_of(const std::string &text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// An archive that says which it is: "data/from.txt" holds its name, and
// "data/NAME_only.txt" is in it alone.
void write_named_archive(const std::string &path, const std::string &name) {
    fs::create_directories(fs::path(path).parent_path());
    std::string error;
    ASSERT_TRUE(dataio_write_zip(path, {{"data/from.txt", bytes_of(name)}, {"data/" + name + "_only.txt", bytes_of("x")}},
                                 &error))
        << error;
}

std::string read_archive_file(const char *name) {
    PHYSFS_File *file = PHYSFS_openRead(name);
    if (!file) return "";
    char buffer[64] = {};
    const PHYSFS_sint64 read = PHYSFS_readBytes(file, buffer, sizeof buffer - 1);
    PHYSFS_close(file);
    return read > 0 ? std::string(buffer, static_cast<size_t>(read)) : "";
}

// Runs the body with the working folder changed, and changes it back.
struct WorkingFolder {
    explicit WorkingFolder(const std::string &path) : previous(fs::current_path()) { fs::current_path(path); }
    ~WorkingFolder() { fs::current_path(previous); }
    fs::path previous;
};

}  // namespace

TEST(Install, ExecutableFolderIsTheRunningProgramsFolder) {
    const std::string expected = fs::canonical(std::string(NUMBRAL_BINARY_DIR) + "/tests").string();
    char folder[4096];
    ASSERT_TRUE(platform_executable_folder(folder, sizeof folder));
    EXPECT_EQ(folder, expected);
    // The folder and its terminating zero must fit; one byte less fails.
    EXPECT_TRUE(platform_executable_folder(folder, expected.size() + 1));
    EXPECT_EQ(folder, expected);
    EXPECT_FALSE(platform_executable_folder(folder, expected.size()));
}

// The current folder's archive keeps priority; from the executable's folder
// the first of beside it and PREFIX/share/numbral that mounts is appended.
TEST(Install, ArchivesMountInTheirOrder) {
    struct Case {
        const char *name;
        bool cwd;
        const char *beside;  // nullptr, "zip" or "junk" (a file that is no archive)
        bool installed;
        const char *winner;  // whose data/from.txt is read, "" for none
        std::vector<const char *> present;
        std::vector<const char *> absent;
    };
    const Case cases[] = {
        {"nothing anywhere", false, nullptr, false, "", {}, {"cwd", "beside", "installed"}},
        {"the current folder's only", true, nullptr, false, "cwd", {"cwd"}, {"beside", "installed"}},
        {"an installed tree from another folder", false, nullptr, true, "installed", {"installed"}, {"cwd"}},
        {"the current folder's before the installed", true, nullptr, true, "cwd", {"cwd", "installed"}, {"beside"}},
        {"beside the executable before the installed", false, "zip", true, "beside", {"beside"}, {"installed"}},
        {"no archive beside: the installed", false, "junk", true, "installed", {"installed"}, {"beside"}},
        {"all three", true, "zip", true, "cwd", {"cwd", "beside"}, {"installed"}},
    };
    if (!PHYSFS_isInit()) {
        ASSERT_NE(PHYSFS_init(nullptr), 0);
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const std::string cwd = root.file("cwd");
        const std::string bin = root.file("prefix/bin");
        fs::create_directories(cwd);
        fs::create_directories(bin);
        if (c.cwd) write_named_archive(cwd + "/data.quob", "cwd");
        if (c.beside && std::strcmp(c.beside, "zip") == 0) write_named_archive(bin + "/data.quob", "beside");
        if (c.beside && std::strcmp(c.beside, "junk") == 0) write_file(bin + "/data.quob", "not an archive");
        if (c.installed) write_named_archive(root.file("prefix/share/numbral/data.quob"), "installed");

        unmount_test_archives();
        // The archive layer opens "./data.quob" again by that name for each
        // read: the checks stay in the working folder too.
        WorkingFolder inside(cwd);
        EXPECT_EQ(install_mount_archives_from(bin.c_str()), static_cast<int>(c.present.size()));
        EXPECT_EQ(read_archive_file("data/from.txt"), c.winner);
        for (const char *name : c.present) EXPECT_TRUE(PHYSFS_exists(("data/" + std::string(name) + "_only.txt").c_str())) << name;
        for (const char *name : c.absent) EXPECT_FALSE(PHYSFS_exists(("data/" + std::string(name) + "_only.txt").c_str())) << name;
        unmount_test_archives();
    }
}

// A pad SDL knows no mapping for becomes a game controller through a line
// in gamecontrollerdb.txt beside the archive or in the save folder; the save
// folder's line wins, and a folder in a file's place spoils nothing else
// (SDL would try to allocate the folder's reported size).
TEST(Install, ControllerMappingsComeFromBesideTheArchiveAndTheSaveFolder) {
    SDL_VirtualJoystickDesc pad = {};
    pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    pad.type = SDL_JOYSTICK_TYPE_UNKNOWN;
    pad.naxes = 2;
    pad.nbuttons = 8;
    pad.vendor_id = 0x1234;
    pad.product_id = 0x5678;
    pad.name = "Unknown test pad";

    // The pad's GUID, as a mapping line names it.
    ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    int device = SDL_JoystickAttachVirtualEx(&pad);
    ASSERT_GE(device, 0) << SDL_GetError();
    EXPECT_FALSE(SDL_IsGameController(device));
    char guid[64];
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(device), guid, sizeof guid);
    SDL_Quit();
    auto mapping = [&guid](const std::string &name) {
        return std::string(guid) + "," + name + ",a:b0,b:b1,x:b2,start:b7,dpup:-a1,dpdown:+a1,platform:Linux,\n";
    };

    struct Case {
        const char *name;
        std::string beside;  // the file beside the archive, "" for none
        std::string save;    // the file in the save folder; "/" makes a folder of that name
        int loaded;
        const char *mapped;  // the controller's name, nullptr when it is no controller
    };
    const Case cases[] = {
        {"no file", "", "", 0, nullptr},
        {"beside the archive", mapping("Beside pad"), "", 1, "Beside pad"},
        {"in the save folder", "", mapping("Save pad"), 1, "Save pad"},
        {"both: the save folder's wins", mapping("Beside pad"), mapping("Save pad"), 2, "Save pad"},
        {"a folder in the save folder's file's place", mapping("Beside pad"), "/", 1, "Beside pad"},
    };
    if (!PHYSFS_isInit()) {
        ASSERT_NE(PHYSFS_init(nullptr), 0);
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const std::string bin = root.file("bin");
        const std::string save = root.file("save");
        fs::create_directories(save);
        write_named_archive(bin + "/data.quob", "beside");
        if (!c.beside.empty()) write_file(bin + "/gamecontrollerdb.txt", c.beside);
        if (c.save == "/") fs::create_directories(save + "/gamecontrollerdb.txt");
        else if (!c.save.empty()) write_file(save + "/gamecontrollerdb.txt", c.save);

        unmount_test_archives();
        {
            WorkingFolder inside(root.path);  // no ./data.quob here
            ASSERT_EQ(install_mount_archives_from(bin.c_str()), 1);
        }
        // As at start-up: the mappings are known before SDL starts.
        EXPECT_EQ(install_add_controller_mappings(save.c_str()), c.loaded);
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        device = SDL_JoystickAttachVirtualEx(&pad);
        ASSERT_GE(device, 0) << SDL_GetError();
        EXPECT_EQ(SDL_IsGameController(device) == SDL_TRUE, c.mapped != nullptr);
        if (c.mapped) {
            const char *name = SDL_GameControllerNameForIndex(device);
            EXPECT_STREQ(name ? name : "", c.mapped);
        }
        SDL_Quit();
        unmount_test_archives();
    }
}

// The real program, copied into a PREFIX/bin of its own and started from an
// empty folder. Its start-up names the first sound no mounted archive holds,
// which tells which archives it found: each archive here lacks the bank's
// last sound, the one beside the executable also the one before it.
TEST(Install, TheGameFindsItsArchiveFromAnyFolder) {
    auto bank_archive = [](const std::string &path, int missing_from) {
        std::vector<ArchiveEntry> entries;
        for (int i = 0; i < missing_from; ++i) entries.push_back({audio_bank_path(i), std::vector<uint8_t>(16, 0x42)});
        fs::create_directories(fs::path(path).parent_path());
        std::string error;
        ASSERT_TRUE(dataio_write_zip(path, entries, &error)) << error;
    };
    struct Case {
        const char *name;
        bool installed;
        bool beside;
        bool through_link;  // started through a symbolic link in another folder
        int reported;       // the bank index start-up names as missing
    };
    const Case cases[] = {
        {"no archive", false, false, false, 0},
        {"an installed tree", true, false, false, AUDIO_BANK_SIZE - 1},
        {"beside the executable, before the installed one", true, true, false, AUDIO_BANK_SIZE - 2},
        {"through a link to the executable", true, false, true, AUDIO_BANK_SIZE - 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const std::string bin = root.file("prefix/bin");
        fs::create_directories(bin);
        fs::create_directories(root.file("cwd"));
        fs::create_directories(root.file("profile"));
        fs::copy_file(NUMBRAL_EXE, bin + "/numbral");
        std::string program = bin + "/numbral";
        if (c.through_link) {
            fs::create_directories(root.file("links"));
            fs::create_symlink(program, root.file("links/numbral"));
            program = root.file("links/numbral");
        }
        if (c.installed) bank_archive(root.file("prefix/share/numbral/data.quob"), AUDIO_BANK_SIZE - 1);
        if (c.beside) bank_archive(bin + "/data.quob", AUDIO_BANK_SIZE - 2);

        const ProcessResult result =
            run_process(program, {},
                        {"USERPROFILE=" + root.file("profile"), "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                         "SDL_RENDER_DRIVER=software"},
                        root.file("cwd"), 30);
        EXPECT_EQ(result.exit_status, 1) << result.err;
        EXPECT_EQ(result.out,
                  std::string("audio_LoadSound > filename doesn't exist: ") + audio_bank_path(c.reported) + "\n");
    }
}
