// The shell scripts behind `make bench` and `make test`, run against made-up
// build folders.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string SCRIPTS = NUMBRAL_SOURCE_DIR "/scripts/";

ProcessResult run_script(const std::string &script, const std::vector<std::string> &arguments,
                         const std::string &working_dir, const std::vector<std::string> &environment = {}) {
    std::vector<std::string> all = {SCRIPTS + script};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return run_process("/bin/sh", all, environment, working_dir, 30);
}

// A stand-in benchmark: appends its name and the folder it runs in to $LOG.
void make_program(const std::string &path, const std::string &body, bool executable = true) {
    write_file(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), executable ? 0755 : 0644);
}
const char RECORD_RUN[] = "echo \"$(basename \"$0\") $(pwd -P)\" >> \"$LOG\"\n";

// A repository folder with build/bench in it.
struct FakeBuild {
    TempDir repo;
    std::string build = repo.path + "/build";
    std::string bench = build + "/bench";
    std::string log = repo.file("runs.log");
    FakeBuild() { std::filesystem::create_directories(bench); }
};

}  // namespace

// Called from the repository's folder with a relative build folder, as
// `make bench` does, and with an absolute one from elsewhere.
TEST(BenchScript, RunsEveryBenchmarkInsideTheBuildFolder) {
    FakeBuild fake;
    make_program(fake.bench + "/png_bench", RECORD_RUN);
    make_program(fake.bench + "/audio_bench", RECORD_RUN);
    write_file(fake.bench + "/notes.txt", "not a benchmark");
    std::filesystem::create_directories(fake.bench + "/CMakeFiles/x_bench");
    const std::string build = std::filesystem::canonical(fake.build).string();
    const std::string expected = "audio_bench " + build + "\npng_bench " + build + "\n";

    for (const auto &[folder, cwd] :
         {std::pair{std::string("build"), fake.repo.path}, std::pair{fake.build, std::string("/")}}) {
        SCOPED_TRACE(folder);
        std::filesystem::remove(fake.log);
        const ProcessResult result = run_script("bench.sh", {folder}, cwd, {"LOG=" + fake.log});
        EXPECT_EQ(result.exit_status, 0) << result.err;
        EXPECT_EQ(read_file(fake.log), expected);
        EXPECT_NE(result.out.find("ran 2 benchmark programs"), std::string::npos) << result.out;
    }
}

TEST(BenchScript, FailsWhenABenchmarkIsMissingCannotRunOrFails) {
    struct Case {
        const char *name;
        void (*prepare)(const FakeBuild &);
        const char *message;
    };
    const Case cases[] = {
        {"no bench folder", [](const FakeBuild &f) { std::filesystem::remove_all(f.bench); },
         "no benchmark programs"},
        {"an empty bench folder", [](const FakeBuild &) {}, "no benchmark programs"},
        {"a program that cannot be run",
         [](const FakeBuild &f) { make_program(f.bench + "/png_bench", RECORD_RUN, false); },
         "cannot be run"},
        {"a failing program",
         [](const FakeBuild &f) {
             make_program(f.bench + "/audio_bench", "exit 3\n");
             make_program(f.bench + "/png_bench", RECORD_RUN);
         },
         "audio_bench failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeBuild fake;
        c.prepare(fake);
        const ProcessResult result = run_script("bench.sh", {"build"}, fake.repo.path, {"LOG=" + fake.log});
        EXPECT_NE(result.exit_status, 0);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_FALSE(path_exists(fake.log));  // nothing after a failure runs
    }
    const ProcessResult result = run_script("bench.sh", {"no-such-folder"}, "/");
    EXPECT_NE(result.exit_status, 0);
}

// Every fuzz target runs, from its corpus and its seed folders, and the
// count is left for the summary; a folder without targets fails.
TEST(FuzzScript, RunsEveryTargetAndRecordsHowMany) {
    TempDir dir;
    const std::string fuzz = dir.file("build-fuzz/tests/fuzz");
    std::filesystem::create_directories(fuzz + "/corpus-old_fuzz");
    const std::string log = dir.file("runs.log");
    for (const char *name : {"level_fuzz", "png_fuzz"})
        make_program(fuzz + "/" + name, "echo \"$(basename \"$0\") $*\" >> \"$LOG\"\n");
    write_file(fuzz + "/png_fuzz.seeds", "/seeds/one /seeds/two\n");

    ProcessResult result = run_script("fuzz.sh", {"build-fuzz", "20"}, dir.path, {"LOG=" + log});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const std::string runs = read_file(log);
    EXPECT_NE(runs.find("level_fuzz -max_total_time=10 "), std::string::npos) << runs;
    EXPECT_NE(runs.find("png_fuzz -max_total_time=10 "), std::string::npos) << runs;
    EXPECT_NE(runs.find("corpus-png_fuzz /seeds/one /seeds/two\n"), std::string::npos) << runs;
    EXPECT_EQ(read_file(dir.file("build-fuzz/test-stage.txt")), "fuzz 2\n");

    std::filesystem::remove(fuzz + "/level_fuzz");
    std::filesystem::remove(fuzz + "/png_fuzz");
    result = run_script("fuzz.sh", {"build-fuzz", "20"}, dir.path, {"LOG=" + log});
    EXPECT_NE(result.exit_status, 0);
    EXPECT_FALSE(path_exists(dir.file("build-fuzz/test-stage.txt")));
}

// The last line of `make test` adds up the stages' counts; a stage that left
// no count did not finish and fails the summary.
TEST(TestSummaryScript, AddsUpTheStagesAndEndsWithTheTotals) {
    TempDir dir;
    for (const char *stage : {"build", "build-asan", "build-fuzz"})
        std::filesystem::create_directories(dir.file(stage));
    write_file(dir.file("build/test-stage.txt"), "check 57\n");
    write_file(dir.file("build-asan/test-stage.txt"), "asan 57\n");
    write_file(dir.file("build-fuzz/test-stage.txt"), "fuzz 3\n");

    ProcessResult result = run_script("test_summary.sh", {"build", "build-asan", "build-fuzz"}, dir.path);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, "make test: check 57, asan 57, fuzz 3\n117 passed, 0 failed\n");

    std::filesystem::remove(dir.file("build-asan/test-stage.txt"));
    result = run_script("test_summary.sh", {"build", "build-asan", "build-fuzz"}, dir.path);
    EXPECT_NE(result.exit_status, 0);
    EXPECT_EQ(result.out, "make test: check 57, build-asan did not finish, fuzz 3\n60 passed, 1 failed\n");
}
