// Reading the builder's source files: diagnostics in the form
// "file:line: what is wrong", lines with their numbers, words and numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every message of one build. A build fails when errors is not 0.
struct Diagnostics {
    std::vector<std::string> messages;
    int errors = 0;
    int warnings = 0;
};

extern Diagnostics diagnostics;

void diag_reset();
// line 0 leaves the line number out ("file: text").
void diag_error(const std::string &file, int line, const std::string &text);
void diag_warning(const std::string &file, int line, const std::string &text);

// One non-empty line of a source file. blank_before is set when one or more
// empty lines (or lines of blanks only) come right before it.
struct SourceLine {
    int number = 0;
    std::string text;
    bool blank_before = false;
};

struct SourceFile {
    std::string path;  // as shown in messages
    std::vector<SourceLine> lines;
};

// Cuts text into lines with the game's line splitter (runs of CR and LF),
// all of them, however many, each with its line number in the text.
std::vector<SourceLine> source_split(const std::string &text);

// Reads a whole file; false (and an error naming the file) when it cannot.
bool source_read_file(const std::string &path, std::string *bytes);
bool source_read(const std::string &path, SourceFile *out);

// True when the text holds nothing but blanks.
bool source_is_blank(const std::string &text);
std::string source_trim(const std::string &text);

// The line without a note at its end: a '#' after a blank, outside double
// quotes, starts a note that runs to the end of the line. (Only sound
// scores allow this; in pictures '#' is a colour or a tile.)
std::string source_strip_note(const std::string &text);

// A number as people write it: 0.5, 20, 1e-05.
std::string source_number(double value);

// Whitespace-separated words; a word in double quotes may hold blanks.
std::vector<std::string> source_words(const std::string &text);

// Strict readings: the whole word must be the number; an int is then read
// the way the game reads it.
bool source_int(const std::string &word, int32_t *value);
bool source_float(const std::string &word, double *value);

// The word as written, quoted, for messages.
std::string quoted(const std::string &word);

// The known word a misspelt one most likely meant: the nearest by letters
// added, dropped, changed or swapped (case ignored), if it is near enough to
// be a slip; "" otherwise.
std::string source_nearest(const std::string &word, const std::vector<std::string> &known);
// "; did you mean "title"?" for a near word, else "".
std::string source_suggest(const std::string &word, const std::vector<std::string> &known);

// Files an editor leaves beside its work: backups ("level5.txt~",
// "level5.txt.bak"), locks (".#level5.txt") and swap files ("*.swp").
bool source_is_leftover(const std::string &file_name);
