// The text splitter and number readings shared by the settings, level and
// cutscene files.
#pragma once

#include <cstdint>

constexpr int TEXT_MAX_LINES = 200;
constexpr int TEXT_MAX_FIELDS = 10;

// Cuts text in place into lines at runs of CR and LF. Empty lines vanish.
// At most TEXT_MAX_LINES lines are taken; the rest of the text is ignored.
// Returns the number of lines.
int text_split_lines(char *text, char *lines[TEXT_MAX_LINES]);

// Cuts a line in place into fields at runs of ':'. Empty fields vanish. At
// most TEXT_MAX_FIELDS fields are taken; the rest of the line is ignored.
// Returns the number of fields.
int text_split_fields(char *line, char *fields[TEXT_MAX_FIELDS]);

// Leading blanks, an optional sign, then digits; no digits reads 0 and
// "12abc" reads 12. Values beyond the int32 range saturate.
int32_t text_read_int(const char *text);

// Leading blanks, then the longest decimal number with optional sign,
// fraction and exponent ("1.5", "-3", "2e1"); no number reads 0.
float text_read_float(const char *text);
