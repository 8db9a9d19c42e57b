// Helpers for the data builder's tests: builds that collect their messages,
// and copies of the fixture sources to break.
#pragma once

#include "databuild.h"
#include "source.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

const std::string FIXTURES = NUMBRAL_FIXTURE_DIR;

// The messages since the last diag_reset, one a line.
inline std::string diag_text() {
    std::string text;
    for (const std::string &message : diagnostics.messages) text += message + "\n";
    return text;
}

// Passes when the text holds the part; a failure shows the whole text.
inline testing::AssertionResult holds(const std::string &text, const std::string &part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

struct BuildOutcome {
    bool ok = false;
    std::vector<ArchiveEntry> entries;
    std::string messages;
    std::string text(const std::string &path) const {  // an entry's bytes, or ""
        for (const ArchiveEntry &entry : entries) {
            if (entry.path == path) return std::string(entry.bytes.begin(), entry.bytes.end());
        }
        return "";
    }
};

inline BuildOutcome build_content(const std::string &root) {
    BuildOutcome outcome;
    diag_reset();
    outcome.ok = databuild_build(root, &outcome.entries);
    outcome.messages = diag_text();
    return outcome;
}

// A copy of the fixture sources in a temporary folder.
struct ContentCopy {
    TempDir dir;
    std::string root = dir.path + "/content";
    ContentCopy() { std::filesystem::copy(FIXTURES, root, std::filesystem::copy_options::recursive); }
    std::string path(const std::string &file) const { return root + "/" + file; }
};
