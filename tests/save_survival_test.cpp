// The save file survives whatever stops the game while it saves: a kill at
// any moment, a full file system, and (through the flushes) a power loss.
#include "common/settings.h"
#include "platform/platform.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Every fsync of the process passes through here, so that a test can see
// what was flushed and in which order.
static bool recording_flushes = false;
static bool skipping_flushes = false;  // a kill loses nothing the kernel holds: the disk is not needed
static std::vector<std::string> flushed_paths;
static std::vector<std::string> save_at_flush;  // the save file's bytes at each flush

extern "C" int fsync(int fd) {
    if (recording_flushes) {
        char link[64], target[PATH_MAX + 1] = {};
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, PATH_MAX);
        flushed_paths.push_back(length > 0 ? std::string(target, static_cast<size_t>(length)) : "?");
        save_at_flush.push_back(read_file(app_save_path));
    }
    return skipping_flushes ? 0 : static_cast<int>(syscall(SYS_fsync, fd));
}

// The message box as a failed save shows it, on standard error.
extern "C" int SDL_ShowSimpleMessageBox(Uint32, const char *title, const char *, SDL_Window *) {
    std::fprintf(stderr, "box: %s\n", title);
    return 0;
}

namespace {

std::string formatted(const Settings &values) {
    settings = values;
    char text[512];
    settings_format(text, sizeof text);
    return text;
}

const Settings OLD_VALUES = {0.25f, false, false, 1, 1};
const Settings NEW_VALUES = {0.5f, true, true, 12, 3};

void use_save_path(const std::string &path) {
    std::snprintf(app_save_path, sizeof app_save_path, "%s", path.c_str());
}

// Saves the two contents in turn until killed (or, as a safety net, until
// ten seconds have passed); a byte on the pipe says that saving begins.
[[noreturn]] void save_forever(int started) {
    alarm(10);
    if (write(started, "s", 1) != 1) _exit(1);
    for (uint32_t i = 0;; ++i) {
        settings = (i % 2 == 0) ? NEW_VALUES : OLD_VALUES;
        settings_save();
    }
}

}  // namespace

// The game killed at random moments while it saves in a loop leaves a save
// file that holds, byte for byte, one of the two contents, 1000 times out of
// 1000. The kill moments spread over two saves' length, measured first.
// A kill keeps everything the kernel was given, so the disk flushes, which
// only slow the loop, are skipped here.
TEST(SaveSurvival, AKillAtAnyMomentLeavesTheOldOrTheNewFile) {
    constexpr int TRIALS = 1000;
    skipping_flushes = true;
    TempDir dir;
    use_save_path(dir.file("numbral.save"));
    const std::string old_text = formatted(OLD_VALUES);
    const std::string new_text = formatted(NEW_VALUES);

    constexpr int TIMED_SAVES = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < TIMED_SAVES; ++i) settings_save();
    const auto save_time = (std::chrono::steady_clock::now() - start) / TIMED_SAVES;
    const int64_t window_us = std::chrono::duration_cast<std::chrono::microseconds>(save_time * 2).count() + 200;

    std::mt19937 random_moments(12345);
    std::uniform_int_distribution<int64_t> moment(0, window_us);
    int killed_mid_save = 0;  // a temporary file was left: the kill came between its creation and the rename
    int old_kept = 0;
    for (int trial = 0; trial < TRIALS; ++trial) {
        std::filesystem::remove(dir.file("numbral.save.tmp"));
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) save_forever(started[1]);
        char byte;
        const ssize_t got = read(started[0], &byte, 1);
        close(started[0]);
        close(started[1]);
        ASSERT_EQ(got, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random_moments)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "trial " << trial;

        const std::string stored = read_file(app_save_path);
        ASSERT_TRUE(stored == old_text || stored == new_text) << "trial " << trial << " left:\n" << stored;
        old_kept += stored == old_text;
        killed_mid_save += path_exists(dir.file("numbral.save.tmp"));
    }
    std::printf("%d trials, save %lld us, kills within %lld us; %d mid-save, %d left the old content\n", TRIALS,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(save_time).count()),
                static_cast<long long>(window_us), killed_mid_save, old_kept);
    // The kills must really land inside saves, or the test proves nothing;
    // on ext4 most of a save is the rename, which a kill cannot split, so
    // only a few kills find the temporary file still there.
    EXPECT_GE(killed_mid_save, TRIALS / 100);
    EXPECT_GT(old_kept, TRIALS / 10);
    EXPECT_LT(old_kept, TRIALS - TRIALS / 10);
    skipping_flushes = false;
}

// The new file's data is flushed before the rename, and the folder after
// it: whatever a power loss keeps is then the new file (or, before the
// folder flush, the old one), never neither.
TEST(SaveSurvival, TheFileIsFlushedBeforeTheRenameAndTheFolderAfterIt) {
    TempDir dir;
    const std::string folder = std::filesystem::canonical(dir.path).string();
    use_save_path(folder + "/numbral.save");
    write_file(app_save_path, formatted(OLD_VALUES));
    const std::string new_text = formatted(NEW_VALUES);

    flushed_paths.clear();
    save_at_flush.clear();
    recording_flushes = true;
    settings_save();
    recording_flushes = false;

    ASSERT_EQ(flushed_paths.size(), 2u);
    EXPECT_EQ(flushed_paths[0], folder + "/numbral.save.tmp");
    EXPECT_EQ(save_at_flush[0], formatted(OLD_VALUES));
    EXPECT_EQ(flushed_paths[1], folder);
    EXPECT_EQ(save_at_flush[1], new_text);
    EXPECT_EQ(read_file(app_save_path), new_text);
}

TEST(SaveSurvival, FolderFlushNeedsAnExistingFolder) {
    TempDir dir;
    write_file(dir.file("plain"), "x");
    EXPECT_TRUE(platform_sync_folder(dir.path.c_str()));
    EXPECT_FALSE(platform_sync_folder(dir.file("missing").c_str()));
    EXPECT_FALSE(platform_sync_folder(dir.file("plain").c_str()));
}

namespace {

// In a private mount namespace, so that nothing shows outside this process:
// a 64 KiB tmpfs over the folder.
bool mount_small_file_system(const std::string &folder) {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("numbral-test", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
}

std::string full_folder;

// Says on standard error, as the process exits, whether the old file stayed.
void report_old_file() {
    const bool kept = read_file(full_folder + "/numbral.save") == formatted(OLD_VALUES);
    const bool no_temporary = !path_exists(full_folder + "/numbral.save.tmp");
    std::fprintf(stderr, "%s, %s\n", kept ? "old file kept" : "old file changed",
                 no_temporary ? "no temporary file" : "temporary file left");
}

void save_into_full_file_system(const std::string &folder) {
    if (!mount_small_file_system(folder)) return;
    full_folder = folder;
    use_save_path(folder + "/numbral.save");
    write_file(app_save_path, formatted(OLD_VALUES));
    // Fill every block that is left.
    std::FILE *filler = std::fopen((folder + "/filler").c_str(), "w");
    if (!filler) return;
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);
    std::atexit(report_old_file);
    settings = NEW_VALUES;
    settings_save();
}

}  // namespace

// A real full file system, where the machine allows mounting one (root, or
// a user namespace); the file-size limit of the settings tests covers the
// rest.
TEST(SaveSurvivalDeathTest, AFullFileSystemKeepsTheOldFileAndShowsTheSaveFileError) {
    TempDir dir;
    const pid_t probe = fork();
    ASSERT_GE(probe, 0);
    if (probe == 0) _exit(mount_small_file_system(dir.path) ? 0 : 1);
    int status = 0;
    waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs the right to make a mount namespace)";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(save_into_full_file_system(dir.path), testing::ExitedWithCode(1),
                "box: Save file error\nold file kept, no temporary file\n");
}
