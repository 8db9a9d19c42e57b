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

// A stand-in program; RECORD_RUN appends its name and the folder it runs in to $LOG.
void make_program(const std::string &path, const std::string &body, bool executable = true) {
    write_file(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), executable ? 0755 : 0644);
}
const char RECORD_RUN[] = "echo \"$(basename \"$0\") $(pwd -P)\" >> \"$LOG\"\n";

}  // namespace

// Called from the repository's folder with a relative build folder, as
// `make bench` does, and with an absolute one from elsewhere: every program
// named *_bench runs inside the build folder. A missing folder, no program,
// one that cannot run or one that fails fails the script, and nothing after
// a failure runs.
TEST(BenchScript, RunsEveryBenchmarkInsideTheBuildFolderAndFailsOnAnyFault) {
    struct Case {
        std::vector<std::pair<const char *, std::string>> programs;  // body "" makes a file that cannot run
        const char *folder, *cwd;
        const char *outcome;  // on standard output when the script passes, else on standard error
    };
    const std::pair<const char *, std::string> png = {"png_bench", RECORD_RUN};
    const std::pair<const char *, std::string> audio = {"audio_bench", RECORD_RUN};
    const Case cases[] = {
        {{png, audio, {"notes.txt", RECORD_RUN}}, "build", "repo", "ran 2 benchmark programs"},
        {{png, audio}, "/build", "/", "ran 2 benchmark programs"},
        {{}, "build", "repo", "no benchmark programs"},
        {{}, "build/none", "repo", "no build folder"},
        {{{"png_bench", ""}}, "build", "repo", "cannot be run"},
        {{{"audio_bench", "exit 3\n"}, png}, "build", "repo", "audio_bench failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.outcome);
        TempDir repo;
        const std::string bench = repo.file("build/bench"), log = repo.file("runs.log");
        std::filesystem::create_directories(bench + "/CMakeFiles/x_bench");
        for (const auto &[name, body] : c.programs) make_program(bench + "/" + name, body, !body.empty());
        const std::string folder = c.folder[0] == '/' ? repo.path + c.folder : c.folder;
        const ProcessResult result =
            run_script("bench.sh", {folder}, std::string(c.cwd) == "/" ? "/" : repo.path, {"LOG=" + log});
        const bool passes = std::string(c.outcome).starts_with("ran");
        EXPECT_EQ(result.exit_status == 0, passes) << result.err;
        EXPECT_NE((passes ? result.out : result.err).find(c.outcome), std::string::npos)
            << result.out << result.err;
        const std::string build = std::filesystem::canonical(repo.path).string() + "/build";
        EXPECT_EQ(read_file(log), passes ? "audio_bench " + build + "\npng_bench " + build + "\n" : "");
    }
}

// Every fuzz target runs, from its corpus and its seed folders, and the
// count is left for the summary; a folder without targets fails.
TEST(FuzzScript, RunsEveryTargetAndRecordsHowMany) {
    TempDir dir;
    const std::string fuzz = dir.file("build-fuzz/tests/fuzz"), log = dir.file("runs.log");
    std::filesystem::create_directories(fuzz + "/corpus-old_fuzz");
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
    for (const auto &[stage, count] : {std::pair{"build", "check 57\n"}, std::pair{"build-asan", "asan 57\n"},
                                       std::pair{"build-fuzz", "fuzz 3\n"}}) {
        std::filesystem::create_directories(dir.file(stage));
        write_file(dir.file(stage) + "/test-stage.txt", count);
    }
    ProcessResult result = run_script("test_summary.sh", {"build", "build-asan", "build-fuzz"}, dir.path);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, "make test: check 57, asan 57, fuzz 3\n117 passed, 0 failed\n");

    std::filesystem::remove(dir.file("build-asan/test-stage.txt"));
    result = run_script("test_summary.sh", {"build", "build-asan", "build-fuzz"}, dir.path);
    EXPECT_NE(result.exit_status, 0);
    EXPECT_EQ(result.out, "make test: check 57, build-asan did not finish, fuzz 3\n60 passed, 1 failed\n");
}
