// Helpers for the data builder's tests: builds that collect their messages.
#pragma once

#include "databuild.h"
#include "source.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

// The messages since the last diag_reset, one a line.
inline std::string diag_text() {
    std::string text;
    for (const std::string &message : diagnostics.messages) text += message + "\n";
    return text;
}

struct BuildOutcome {
    bool ok = false;
    std::vector<ArchiveEntry> entries;
    std::string messages;
};

inline BuildOutcome build_content(const std::string &root) {
    BuildOutcome outcome;
    diag_reset();
    outcome.ok = databuild_build(root, &outcome.entries);
    outcome.messages = diag_text();
    return outcome;
}
