// Timing and statistics for the benchmarks, and the one table they print.
//
// A measurement is a number of runs of each contender, taken in alternation (A B, B A, ...) so
// that a slow stretch of the machine hits both alike. Each run yields one figure (a rate or a
// time per operation); a contender's figure is the median over its runs, and the ratio of two
// contenders is the median of the ratios of the runs that were taken side by side. Latencies
// are pooled over all runs of a contender and reported as percentiles.
#ifndef SCRIVLET_BENCH_MEASURE_H
#define SCRIVLET_BENCH_MEASURE_H

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

namespace scrivlet::bench {

// Nanoseconds on the monotonic clock.
inline std::uint64_t NowNs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

// Per-operation latencies in nanoseconds, appended without allocating once reserved.
class Latencies {
  public:
    void Reserve(std::size_t count) { values_.reserve(values_.size() + count); }
    void Add(std::uint64_t ns) { values_.push_back(ns); }
    std::size_t Size() const { return values_.size(); }
    void Append(const Latencies& other);
    // The p-th percentile (0 < p < 100) in microseconds; 0 when empty.
    double PercentileUs(double p);

  private:
    std::vector<std::uint64_t> values_;
};

double Median(std::vector<double> values);

// The median of a[i] / b[i].
double PairedRatio(const std::vector<double>& a, const std::vector<double>& b);

// One row of the result table.
struct Row {
    std::string name;
    std::string scrivlet;
    std::string baseline;
    std::string ratio;
    std::string target;
    std::string verdict;  // "met", "missed", or "-" where there is no target
};

// Collects the rows and prints them as one aligned table.
class Table {
  public:
    void Add(const Row& row) { rows_.push_back(row); }
    void Section(const std::string& title) { rows_.push_back(Row{title, "", "", "", "", ""}); }
    void Print() const;

  private:
    std::vector<Row> rows_;
};

// Number formatting for the table.
std::string Fixed(double value, int decimals);
std::string Grouped(double value);  // 12,345

}  // namespace scrivlet::bench

#endif  // SCRIVLET_BENCH_MEASURE_H
