// Helpers for the data builder's tests: a writable copy of the fixture
// sources to break one rule at a time, and builds that collect messages.
#pragma once

#include "databuild.h"
#include "source.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

// A copy of tests/fixtures in a temporary folder.
struct ContentCopy {
    TempDir dir;
    std::string root = dir.path + "/content";

    ContentCopy() { std::filesystem::copy(NUMBRAL_FIXTURE_DIR, root, std::filesystem::copy_options::recursive); }
    std::string path(const std::string &relative) const { return root + "/" + relative; }

    // Replaces the first occurrence of from; fails the test when it is absent.
    void replace(const std::string &relative, const std::string &from, const std::string &to) const {
        std::string text = read_file(path(relative));
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << relative << " holds no " << from;
        text.replace(at, from.size(), to);
        write_file(path(relative), text);
    }
    void append(const std::string &relative, const std::string &text) const {
        write_file(path(relative), read_file(path(relative)) + text);
    }
    void write(const std::string &relative, const std::string &text) const { write_file(path(relative), text); }
    void remove(const std::string &relative) const { std::filesystem::remove(path(relative)); }
};

struct BuildOutcome {
    bool ok = false;
    int errors = 0, warnings = 0;
    std::string messages;  // one per line
    std::vector<ArchiveEntry> entries;
};

inline BuildOutcome build_content(const std::string &root) {
    BuildOutcome outcome;
    diag_reset();
    outcome.ok = databuild_build(root, &outcome.entries);
    outcome.errors = diagnostics.errors;
    outcome.warnings = diagnostics.warnings;
    for (const std::string &message : diagnostics.messages) outcome.messages += message + "\n";
    return outcome;
}

inline const ArchiveEntry *find_entry(const BuildOutcome &outcome, const std::string &path) {
    for (const ArchiveEntry &entry : outcome.entries) {
        if (entry.path == path) return &entry;
    }
    return nullptr;
}
