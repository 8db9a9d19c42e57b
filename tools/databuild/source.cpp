#include "source.h"

#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

Diagnostics diagnostics;

void diag_reset() {
    diagnostics = Diagnostics{};
}

static std::string located(const std::string &file, int line, const std::string &text) {
    if (line > 0) return file + ":" + std::to_string(line) + ": " + text;
    return file + ": " + text;
}

// A file read twice (a tileset of several maps) reports its faults once.
static bool already_said(const std::string &message) {
    for (const std::string &said : diagnostics.messages) {
        if (said == message) return true;
    }
    return false;
}

void diag_error(const std::string &file, int line, const std::string &text) {
    const std::string message = located(file, line, text);
    if (already_said(message)) return;
    diagnostics.messages.push_back(message);
    ++diagnostics.errors;
}

void diag_warning(const std::string &file, int line, const std::string &text) {
    const std::string message = located(file, line, "warning: " + text);
    if (already_said(message)) return;
    diagnostics.messages.push_back(message);
    ++diagnostics.warnings;
}

bool source_is_blank(const std::string &text) {
    for (char c : text) {
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

std::string source_trim(const std::string &text) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

// Line breaks between two offsets: CR LF counts once, a lone CR or LF once.
static int count_breaks(const std::string &text, size_t from, size_t to) {
    int breaks = 0;
    for (size_t i = from; i < to; ++i) {
        if (text[i] == '\n') {
            ++breaks;
        } else if (text[i] == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n')) {
            ++breaks;
        }
    }
    return breaks;
}

std::vector<SourceLine> source_split(const std::string &text) {
    std::vector<SourceLine> result;
    std::string work = text;  // the splitter cuts in place
    char *base = work.data();
    const size_t size = work.size();
    size_t start = 0;          // where the next splitter call begins
    size_t previous_end = 0;   // end of the last line found
    int line_number = 1;
    bool blank_pending = false;
    while (start < size) {
        char *lines[TEXT_MAX_LINES];
        const int count = text_split_lines(base + start, lines);
        for (int i = 0; i < count; ++i) {
            const size_t offset = static_cast<size_t>(lines[i] - base);
            const int breaks = count_breaks(text, previous_end, offset);
            line_number += breaks;
            const bool blank_before = (result.empty() ? breaks > 0 : breaks > 1) || blank_pending;
            SourceLine line;
            line.number = line_number;
            line.text = lines[i];
            line.blank_before = blank_before;
            blank_pending = source_is_blank(line.text);
            previous_end = offset + line.text.size();
            if (!blank_pending) result.push_back(line);
        }
        if (count < TEXT_MAX_LINES) break;
        start = previous_end + 1;  // past the separator the splitter cut
    }
    return result;
}

bool source_read_file(const std::string &path, std::string *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        diag_error(path, 0, "cannot read the file");
        return false;
    }
    std::stringstream content;
    content << in.rdbuf();
    *bytes = content.str();
    return true;
}

bool source_read(const std::string &path, SourceFile *out) {
    std::string bytes;
    out->path = path;
    out->lines.clear();
    if (!source_read_file(path, &bytes)) return false;
    if (bytes.find('\0') != std::string::npos) {
        diag_error(path, 0, "holds a zero byte; it is not a text file");
        return false;
    }
    out->lines = source_split(bytes);
    return true;
}

std::string source_strip_note(const std::string &text) {
    bool quoted_part = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted_part = !quoted_part;
        if (!quoted_part && text[i] == '#' && i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) {
            return source_trim(text.substr(0, i));
        }
    }
    return source_trim(text);
}

std::string source_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::vector<std::string> source_words(const std::string &text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        std::string word;
        if (text[i] == '"') {
            const size_t close = text.find('"', i + 1);
            const size_t end = close == std::string::npos ? text.size() : close;
            word = text.substr(i, end - i + (close == std::string::npos ? 0 : 1));
            i = end + 1;
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t') word += text[i++];
        }
        words.push_back(word);
    }
    return words;
}

bool source_int(const std::string &word, int32_t *value) {
    if (word.empty()) return false;
    size_t i = (word[0] == '-' || word[0] == '+') ? 1 : 0;
    if (i >= word.size()) return false;
    for (size_t j = i; j < word.size(); ++j) {
        if (word[j] < '0' || word[j] > '9') return false;
    }
    if (word.size() - i > 9) return false;  // keeps well inside the int32 range
    *value = text_read_int(word.c_str());     // the value the game reads
    return true;
}

bool source_float(const std::string &word, double *value) {
    if (word.empty()) return false;
    // Plain decimal numbers only: no "inf", "nan" or hexadecimal forms.
    for (char c : word) {
        if (!std::strchr("0123456789+-.eE", c)) return false;
    }
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size() || errno != 0) return false;
    *value = parsed;
    return true;
}

std::string quoted(const std::string &word) {
    return "\"" + word + "\"";
}

// Edits between two words, a swap of neighbours counting as one.
static int edit_distance(const std::string &a, const std::string &b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = 0; i <= n; ++i) d[i][0] = static_cast<int>(i);
    for (size_t j = 0; j <= m; ++j) d[0][j] = static_cast<int>(j);
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j) {
            const int change = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                                       std::tolower(static_cast<unsigned char>(b[j - 1]))
                                   ? 0
                                   : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

std::string source_nearest(const std::string &word, const std::vector<std::string> &known) {
    const std::string trimmed = source_trim(word);
    if (trimmed.empty()) return "";
    // A slip is one edit in a short word, two in a longer one.
    const int most = trimmed.size() <= 4 ? 1 : 2;
    std::string best;
    int best_distance = most + 1;
    for (const std::string &candidate : known) {
        const int distance = edit_distance(trimmed, candidate);
        if (distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best == word ? "" : best;
}

std::string source_suggest(const std::string &word, const std::vector<std::string> &known) {
    const std::string nearest = source_nearest(word, known);
    return nearest.empty() ? "" : "; did you mean " + quoted(nearest) + "?";
}

bool source_is_leftover(const std::string &file_name) {
    auto ends_with = [&](const char *end) {
        const size_t n = std::strlen(end);
        return file_name.size() >= n && file_name.compare(file_name.size() - n, n, end) == 0;
    };
    return file_name.rfind(".#", 0) == 0 || ends_with("~") || ends_with(".swp") || ends_with(".swo") || ends_with(".bak");
}
