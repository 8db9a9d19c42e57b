// The one table of `make bench`: every benchmark program adds its rows to
// the file named by NUMBRAL_BENCH_TABLE (scripts/bench.sh sets it and prints
// and writes the table once all programs have run). Without the variable
// the rows go to standard output only.
#pragma once

#include <string>

enum BenchVerdict { VERDICT_NONE, VERDICT_MET, VERDICT_MISSED };

struct BenchRow {
    std::string figure;     // "PNG 64x36 frame, ours / libpng"
    std::string value;      // "21.4 us"
    std::string reference;  // "libpng 20.1 us", or empty
    double ratio = 0;       // value / reference; 0 when there is none
    std::string goal;       // "<= 1.0x", or empty
    BenchVerdict verdict = VERDICT_NONE;
};

void bench_table_add(const BenchRow &row);

// A verdict from a measured number and its bound: met when at most the bound.
BenchVerdict bench_at_most(double measured, double bound);

// printf into a std::string.
std::string bench_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
