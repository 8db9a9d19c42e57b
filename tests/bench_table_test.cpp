// The table of `make bench`: rows that the benchmark programs add go into
// the docs between their markers, and nothing else of the page changes.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

const std::string BENCH_SCRIPT = NUMBRAL_SOURCE_DIR "/scripts/bench.sh";
const std::string BEGIN_MARK = "<!-- make bench writes the table from here -->";
const std::string END_MARK = "<!-- to here -->";

// A build folder whose one benchmark adds two rows, one with a pipe.
struct FakeBench {
    TempDir dir;
    std::string doc = dir.file("performance.md");
    FakeBench() {
        std::filesystem::create_directories(dir.file("build/bench"));
        const std::string program = dir.file("build/bench/fake_bench");
        write_file(program,
                   "#!/bin/sh\n"
                   "printf 'start-up\\t180 ms\\tbare 30 ms\\t6.00x\\t<= 250 ms\\tmet\\n' >> \"$NUMBRAL_BENCH_TABLE\"\n"
                   "printf 'a|b\\t1\\t\\t\\t\\t\\n' >> \"$NUMBRAL_BENCH_TABLE\"\n");
        chmod(program.c_str(), 0755);
    }
    ProcessResult run() { return run_process("/bin/sh", {BENCH_SCRIPT, "build", doc}, {}, dir.path, 30); }
};

size_t count_of(const std::string &text, const std::string &part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(BenchTable, ReplacesOnlyTheMarkedPartOfThePageAndKeepsCellsApart) {
    FakeBench bench;
    write_file(bench.doc, "# Performance\n\nbefore\n\n" + BEGIN_MARK + "\nold table\n" + END_MARK + "\n\nnotes\n");
    for (int run = 0; run < 2; ++run) {  // a second run replaces the first one's table
        const ProcessResult result = bench.run();
        ASSERT_EQ(result.exit_status, 0) << result.err;
        const std::string page = read_file(bench.doc);
        EXPECT_EQ(page.rfind("# Performance\n\nbefore\n\n" + BEGIN_MARK + "\nMachine: ", 0), 0u) << page;
        EXPECT_NE(page.find("| start-up | 180 ms | bare 30 ms | 6.00x | <= 250 ms | met |\n"), std::string::npos);
        EXPECT_NE(page.find("| a\\|b | 1 |  |  |  |  |\n" + END_MARK + "\n\nnotes\n"), std::string::npos) << page;
        EXPECT_EQ(page.find("old table"), std::string::npos);
        EXPECT_EQ(count_of(page, BEGIN_MARK), 1u);
        EXPECT_EQ(count_of(page, "| start-up |"), 1u);
    }
}

TEST(BenchTable, APageWithoutMarkersGetsTheTableAtItsEnd) {
    for (const bool exists : {true, false}) {
        SCOPED_TRACE(exists ? "page without markers" : "no page");
        FakeBench bench;
        if (exists) write_file(bench.doc, "# Performance\n");
        const ProcessResult result = bench.run();
        ASSERT_EQ(result.exit_status, 0) << result.err;
        const std::string page = read_file(bench.doc);
        EXPECT_EQ(page.rfind(exists ? "# Performance\n\n" + BEGIN_MARK : BEGIN_MARK, 0), 0u) << page;
        EXPECT_EQ(page.substr(page.size() - END_MARK.size() - 1), END_MARK + "\n");
        EXPECT_NE(result.out.find("ran 1 benchmark programs; 0 goals missed"), std::string::npos) << result.out;
    }
}
