// The one entry point of the benchmark program: each benchmark file registers its own cases;
// after the usual output comes the table of every goal against this run's figures.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <iostream>

#include "GoalTable.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    // Colours only for a terminal: the output is often kept in a file.
    kivora::bench::RecordingReporter reporter(isatty(STDOUT_FILENO) != 0
                                                  ? benchmark::ConsoleReporter::OO_Defaults
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const bool ran =
        kivora::bench::printGoalTable(std::cout, kivora::bench::goals(), reporter.runs());
    return ran ? 0 : 1;
}
