// Statistics (medians, paired ratios, percentiles) and the printing of the result table.
#include "measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace scrivlet::bench {

void Latencies::Append(const Latencies& other) {
    values_.insert(values_.end(), other.values_.begin(), other.values_.end());
}

double Latencies::PercentileUs(double p) {
    if (values_.empty()) return 0;
    std::size_t index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values_.size()));
    if (index >= values_.size()) index = values_.size() - 1;
    std::nth_element(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(index),
                     values_.end());
    return static_cast<double>(values_[index]) / 1000.0;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0) ratios.push_back(a[i] / b[i]);
    }
    return Median(ratios);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Grouped(double value) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.0f", std::round(value));
    std::string in = digits;
    std::string out;
    const std::size_t start = (!in.empty() && in[0] == '-') ? 1 : 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (i > start && (in.size() - i) % 3 == 0) out += ',';
        out += in[i];
    }
    return out;
}

void Table::Print() const {
    const Row header{"case", "Scrivlet", "baseline", "ratio", "target", "met"};
    std::size_t width[6] = {0, 0, 0, 0, 0, 0};
    auto widen = [&width](const Row& row) {
        const std::string* cells[6] = {&row.name,  &row.scrivlet, &row.baseline,
                                       &row.ratio, &row.target,   &row.verdict};
        if (row.scrivlet.empty() && row.baseline.empty()) return;  // a section title
        for (int i = 0; i < 6; ++i) width[i] = std::max(width[i], cells[i]->size());
    };
    widen(header);
    for (const Row& row : rows_) widen(row);
    auto print = [&width](const Row& row) {
        std::printf("%-*s  %-*s  %-*s  %-*s  %-*s  %s\n", static_cast<int>(width[0]),
                    row.name.c_str(), static_cast<int>(width[1]), row.scrivlet.c_str(),
                    static_cast<int>(width[2]), row.baseline.c_str(), static_cast<int>(width[3]),
                    row.ratio.c_str(), static_cast<int>(width[4]), row.target.c_str(),
                    row.verdict.c_str());
    };
    std::size_t total = 10;
    for (std::size_t w : width) total += w;
    const std::string rule(total, '-');
    print(header);
    std::printf("%s\n", rule.c_str());
    for (const Row& row : rows_) {
        if (row.scrivlet.empty() && row.baseline.empty() && row.ratio.empty()) {
            std::printf("%s\n", row.name.c_str());
        } else {
            print(row);
        }
    }
    std::fflush(stdout);
}

}  // namespace scrivlet::bench
