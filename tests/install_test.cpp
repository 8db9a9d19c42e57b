// The game started from any folder: the archive found from the executable's
// folder, the order of the archives, and the players' controller mappings.
#include "app/install.h"
#include "audio/audio.h"
#include "platform/platform.h"
#include "resources/archive.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <physfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// An archive with one file of no importance.
void write_archive(const std::string &path) {
    fs::create_directories(fs::path(path).parent_path());
    std::string error;
    ASSERT_TRUE(dataio_write_zip(path, {{"data/any.txt", {'x'}}}, &error)) << error;
}

// The archives in the search path, in order, by where they lie.
std::string mounted_archives() {
    std::string order;
    char **paths = PHYSFS_getSearchPath();
    for (char **p = paths; *p; ++p) {
        const std::string path = *p;
        order += path.starts_with("./")                      ? "cwd "
                 : path.find("/share/") != std::string::npos ? "installed "
                                                             : "beside ";
    }
    PHYSFS_freeList(paths);
    return order;
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
    enum Beside { NONE, ZIP, JUNK /* a file that is no archive */ };
    struct Case { bool cwd; Beside beside; bool installed; const char *mounted; };
    const Case cases[] = {
        {false, NONE, false, ""}, {true, NONE, true, "cwd installed "}, {false, ZIP, true, "beside "},
        {false, JUNK, true, "installed "}, {true, ZIP, true, "cwd beside "},
    };
    ASSERT_TRUE(archive_init(nullptr));
    for (const Case &c : cases) {
        TempDir root;
        const std::string cwd = root.file("cwd"), bin = root.file("prefix/bin");
        fs::create_directories(cwd);
        fs::create_directories(bin);
        if (c.cwd) write_archive(cwd + "/data.quob");
        if (c.beside == ZIP) write_archive(bin + "/data.quob");
        if (c.beside == JUNK) write_file(bin + "/data.quob", "not an archive");
        if (c.installed) write_archive(root.file("prefix/share/numbral/data.quob"));
        unmount_test_archives();
        WorkingFolder inside(cwd);
        const int count = install_mount_archives_from(bin.c_str());
        EXPECT_EQ(mounted_archives(), c.mounted);
        EXPECT_EQ(count, static_cast<int>(std::count(c.mounted, c.mounted + std::strlen(c.mounted), ' ')));
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
        std::string beside, save;  // the files beside the archive and in the save folder; "/" makes a folder
        int loaded;
        const char *mapped;  // the controller's name
    };
    const Case cases[] = {
        {"both: the save folder's wins", mapping("Beside pad"), mapping("Save pad"), 2, "Save pad"},
        {"a folder in the save folder's file's place", mapping("Beside pad"), "/", 1, "Beside pad"},
    };
    ASSERT_TRUE(archive_init(nullptr));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const std::string bin = root.file("bin"), save = root.file("save");
        fs::create_directories(save);
        write_archive(bin + "/data.quob");
        write_file(bin + "/gamecontrollerdb.txt", c.beside);
        if (c.save == "/") fs::create_directories(save + "/gamecontrollerdb.txt");
        else write_file(save + "/gamecontrollerdb.txt", c.save);

        unmount_test_archives();
        WorkingFolder inside(root.path);  // no ./data.quob here
        ASSERT_EQ(install_mount_archives_from(bin.c_str()), 1);
        // As at start-up: the mappings are known before SDL starts.
        EXPECT_EQ(install_add_controller_mappings(save.c_str()), c.loaded);
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        device = SDL_JoystickAttachVirtualEx(&pad);
        ASSERT_GE(device, 0) << SDL_GetError();
        const char *name = SDL_IsGameController(device) ? SDL_GameControllerNameForIndex(device) : "";
        EXPECT_STREQ(name ? name : "(no name)", c.mapped);
        SDL_Quit();
        unmount_test_archives();
    }
}

// The real program, copied into a PREFIX/bin of its own and started from an
// empty folder. Its start-up names the first sound no mounted archive holds
// (also with sound turned off), which tells which archives it found: the
// installed archive lacks the bank's last sound, the one beside the
// executable also the one before it.
TEST(Install, TheGameFindsItsArchiveFromAnyFolder) {
    auto bank_archive = [](const std::string &path, int missing_from) {
        std::vector<ArchiveEntry> entries;
        for (int i = 0; i < missing_from; ++i)
            entries.push_back({audio_bank_path(i), std::vector<uint8_t>(16, 0x42)});
        fs::create_directories(fs::path(path).parent_path());
        std::string error;
        ASSERT_TRUE(dataio_write_zip(path, entries, &error)) << error;
    };
    for (bool through_link : {false, true}) {  // else an archive beside the executable
        TempDir root;
        const std::string bin = root.file("prefix/bin");
        for (const std::string &folder : {bin, root.file("cwd"), root.file("profile"), root.file("links")})
            fs::create_directories(folder);
        fs::copy_file(NUMBRAL_EXE, bin + "/numbral");
        const std::string program = through_link ? root.file("links/numbral") : bin + "/numbral";
        if (through_link) fs::create_symlink(bin + "/numbral", program);
        bank_archive(root.file("prefix/share/numbral/data.quob"), AUDIO_BANK_SIZE - 1);
        if (!through_link) bank_archive(bin + "/data.quob", AUDIO_BANK_SIZE - 2);
        const int reported = through_link ? AUDIO_BANK_SIZE - 1 : AUDIO_BANK_SIZE - 2;

        const std::vector<std::string> arguments = {through_link ? "--nosound" : "--joystick"};
        const ProcessResult result = run_process(program, arguments,
                                                 {"USERPROFILE=" + root.file("profile"), "SDL_VIDEODRIVER=offscreen",
                                                  "SDL_AUDIODRIVER=dummy", "SDL_RENDER_DRIVER=software"},
                                                 root.file("cwd"), 30);
        EXPECT_EQ(result.exit_status, 1) << result.err;
        EXPECT_EQ(result.out,
                  std::string("audio_LoadSound > filename doesn't exist: ") + audio_bank_path(reported) + "\n");
    }
}
