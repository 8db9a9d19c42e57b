#include "bench_table.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// Tabs and line ends would break the row file's format.
static std::string cell(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

static const char *verdict_word(BenchVerdict verdict) {
    switch (verdict) {
    case VERDICT_MET: return "met";
    case VERDICT_MISSED: return "MISSED";
    case VERDICT_NONE: break;
    }
    return "";
}

void bench_table_add(const BenchRow &row) {
    const std::string ratio = row.ratio > 0 ? bench_format("%.2fx", row.ratio) : "";
    const std::string line = cell(row.figure) + "\t" + cell(row.value) + "\t" + cell(row.reference) + "\t" + ratio +
                             "\t" + cell(row.goal) + "\t" + verdict_word(row.verdict) + "\n";
    std::printf("row: %s", line.c_str());
    std::fflush(stdout);
    const char *path = std::getenv("NUMBRAL_BENCH_TABLE");
    if (!path || !path[0]) return;
    std::FILE *file = std::fopen(path, "a");
    if (!file) {
        std::fprintf(stderr, "bench: cannot add to the table %s\n", path);
        std::exit(1);
    }
    std::fputs(line.c_str(), file);
    std::fclose(file);
}

BenchVerdict bench_at_most(double measured, double bound) {
    return measured <= bound ? VERDICT_MET : VERDICT_MISSED;
}

std::string bench_format(const char *format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}
