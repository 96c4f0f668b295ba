#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace corvane::bench {

inline double percentile99(const std::vector<double>& values) {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<std::size_t>(0.99 * static_cast<double>(sorted.size() - 1))];
}

// One command per repetition, timed by hand; the aggregates, the 99th percentile among them,
// are over the repetitions.
inline void oneCommandPerRepetition(benchmark::internal::Benchmark* benchmark) {
    benchmark->Iterations(1)->ReportAggregatesOnly(true)->UseManualTime()->ComputeStatistics(
        "p99", percentile99);
}

}  // namespace corvane::bench
