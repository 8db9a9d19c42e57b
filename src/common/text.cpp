#include "common/text.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

static int split_at_runs(char *text, const char *separators, char **pieces, int capacity) {
    int count = 0;
    char *cursor = text;
    while (*cursor != '\0' && count < capacity) {
        cursor += std::strspn(cursor, separators);
        if (*cursor == '\0') break;
        pieces[count++] = cursor;
        cursor += std::strcspn(cursor, separators);
        if (*cursor != '\0') *cursor++ = '\0';
    }
    return count;
}

int text_split_lines(char *text, char *lines[TEXT_MAX_LINES]) {
    return split_at_runs(text, "\r\n", lines, TEXT_MAX_LINES);
}

int text_split_fields(char *line, char *fields[TEXT_MAX_FIELDS]) {
    return split_at_runs(line, ":", fields, TEXT_MAX_FIELDS);
}

static const char *skip_blanks(const char *text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    return text;
}

int32_t text_read_int(const char *text) {
    const char *cursor = skip_blanks(text);
    bool negative = false;
    if (*cursor == '+' || *cursor == '-') negative = *cursor++ == '-';
    int64_t magnitude = 0;
    while (std::isdigit(static_cast<unsigned char>(*cursor))) {
        if (magnitude <= INT32_MAX) magnitude = magnitude * 10 + (*cursor - '0');
        ++cursor;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

float text_read_float(const char *text) {
    // strtof reads exactly the decimal number this format allows, except that
    // it would also take "inf", "nan" and hexadecimal "0x..." numbers.
    const char *start = skip_blanks(text);
    const char *digits = start + ((*start == '+' || *start == '-') ? 1 : 0);
    const bool starts_decimal = std::isdigit(static_cast<unsigned char>(digits[0])) ||
                                (digits[0] == '.' && std::isdigit(static_cast<unsigned char>(digits[1])));
    if (!starts_decimal) return 0.0f;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return 0.0f;
    return std::strtof(start, nullptr);
}
