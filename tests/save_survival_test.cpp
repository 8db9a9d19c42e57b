// The save file survives whatever stops the game while it saves: a kill at
// any moment and (through the flushes) a power loss. A failed write is the
// settings tests' part.
#include "common/settings.h"
#include "platform/platform.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <signal.h>
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
static std::vector<std::string> flushes;  // what was flushed, and the save file's bytes then

extern "C" int fsync(int fd) {
    if (recording_flushes) {
        char target[PATH_MAX + 1] = {};
        const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, PATH_MAX);
        flushes.push_back((length > 0 ? std::string(target) : "?") + " with save " + read_file(app_save_path));
    }
    return skipping_flushes ? 0 : static_cast<int>(syscall(SYS_fsync, fd));
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
    const std::string old_text = formatted(OLD_VALUES), new_text = formatted(NEW_VALUES);

    using std::chrono::steady_clock;
    const auto start = steady_clock::now();
    for (int i = 0; i < 20; ++i) settings_save();
    const int64_t save_us = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start).count() / 20;
    const int64_t window_us = 2 * save_us + 200;

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
        ASSERT_EQ(read(started[0], &byte, 1), 1);
        close(started[0]);
        close(started[1]);
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
                static_cast<long long>(save_us), static_cast<long long>(window_us), killed_mid_save, old_kept);
    // The kills must really land inside saves and at varied moments, or the
    // test proves nothing; on ext4 most of a save is the rename, which a kill
    // cannot split, so only a few kills find the temporary file still there.
    // How the outcomes split depends on the machine's load (8 % to 43 % old
    // seen here), so only both outcomes are asked for.
    EXPECT_GE(killed_mid_save, TRIALS / 100);
    EXPECT_GE(old_kept, TRIALS / 100);
    EXPECT_LE(old_kept, TRIALS - TRIALS / 100);
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
    const std::string old_text = formatted(OLD_VALUES), new_text = formatted(NEW_VALUES);
    flushes.clear();
    recording_flushes = true;
    settings_save();
    recording_flushes = false;
    const std::vector<std::string> expected = {folder + "/numbral.save.tmp with save " + old_text,
                                               folder + " with save " + new_text};
    EXPECT_EQ(flushes, expected);
}
