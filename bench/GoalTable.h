#pragma once
// The one table that the benchmark program prints at its end: each goal with the figure
// measured in this run, the ratio to the goal (or to the baseline measured beside it), and
// whether the goal is met.

#include <benchmark/benchmark.h>

#include <cmath>
#include <iosfwd>
#include <string>
#include <vector>

namespace kivora::bench {

struct Goal {
    std::string row;        // what is measured, as the table names it
    std::string benchmark;  // the run's name as Google Benchmark reports it
    // A counter of the run, or "cpu_time" (per iteration, in the unit below).
    std::string figure;
    double scale = 1;      // counter value times this is in `unit`
    std::string unit;      // of the figure
    std::string baseline;  // a counter in the same unit: the row is the ratio to it
    std::string baselineName;
    double goal = NAN;  // at most this (the figure, or the ratio); NAN: shown, no goal
    bool strictlyBelow = false;
};

// The goals of the benchmarks in this program, in table order.
const std::vector<Goal>& goals();

// Keeps every run it shows, for the table.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;
    void ReportRuns(const std::vector<Run>& runs) override;
    const std::vector<Run>& runs() const { return runs_; }

private:
    std::vector<Run> runs_;
};

// Prints the table of `goals` against `runs` (a benchmark left out by a filter is "not run").
// Returns false when a benchmark with a goal failed; a missed goal is a finding, not an error.
bool printGoalTable(std::ostream& out, const std::vector<Goal>& goals,
                    const std::vector<benchmark::BenchmarkReporter::Run>& runs);

}  // namespace kivora::bench
