#include "GoalTable.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>

namespace kivora::bench {

namespace {

using Run = benchmark::BenchmarkReporter::Run;

struct Row {
    std::string name, figure, goal, ratio, met;
};

std::string format(double value, const char* spec = "%.3g") {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, spec, value);
    return buffer;
}

std::string withUnit(double value, const std::string& unit) {
    return format(value, value >= 1000 ? "%.0f" : "%.3g") + " " + unit;
}

// Columns are padded by what a terminal shows: code points, not bytes.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::optional<double> figureOf(const Run& run, const std::string& figure, double scale,
                               const std::string& unit) {
    if (figure == "cpu_time") {
        const double seconds =
            run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        const double perSecond = unit == "ns" ? 1e9 : unit == "µs" ? 1e6 : unit == "ms" ? 1e3 : 1;
        return seconds * perSecond;
    }
    const auto it = run.counters.find(figure);
    if (it == run.counters.end()) {
        return std::nullopt;
    }
    return it->second.value * scale;
}

Row rowFor(const Goal& goal, const Run* run) {
    Row row{goal.row, "", "", "", ""};
    const std::string limit = goal.strictlyBelow ? "< " : "≤ ";
    if (!std::isnan(goal.goal)) {
        row.goal = goal.baseline.empty()
                       ? limit + withUnit(goal.goal, goal.unit)
                       : limit + format(goal.goal, "%.2f") + "x " + goal.baselineName;
    } else {
        row.goal = "-";
    }
    if (run == nullptr) {
        row.figure = "not run";
        row.met = "-";
        return row;
    }
    if (run->error_occurred) {
        row.figure = "failed: " + run->error_message;
        row.met = "no";
        return row;
    }
    const std::optional<double> figure = figureOf(*run, goal.figure, goal.scale, goal.unit);
    const bool ratioRow = !goal.baseline.empty();
    const double baseline = ratioRow ? figureOf(*run, goal.baseline, 1, goal.unit).value_or(0) : 0;
    if (!figure || (ratioRow && baseline <= 0)) {
        row.figure = "no figure " + (figure ? goal.baseline : goal.figure);
        row.met = "no";
        return row;
    }
    double compared = *figure;
    row.figure = withUnit(*figure, goal.unit);
    if (ratioRow) {
        compared = *figure / baseline;
        row.figure += " (" + goal.baselineName + " " + withUnit(baseline, goal.unit) + ")";
        row.ratio = format(compared, "%.2f") + "x " + goal.baselineName;
    } else if (!std::isnan(goal.goal)) {
        row.ratio = format(compared / goal.goal, "%.2f") + "x goal";
    }
    if (std::isnan(goal.goal)) {
        row.met = "-";
    } else {
        row.met =
            (goal.strictlyBelow ? compared < goal.goal : compared <= goal.goal) ? "yes" : "no";
    }
    return row;
}

}  // namespace

void RecordingReporter::ReportRuns(const std::vector<Run>& runs) {
    runs_.insert(runs_.end(), runs.begin(), runs.end());
    ConsoleReporter::ReportRuns(runs);
}

bool printGoalTable(std::ostream& out, const std::vector<Goal>& goals,
                    const std::vector<Run>& runs) {
    std::map<std::string, const Run*> byName;
    for (const Run& run : runs) {
        // By function and arguments: options such as "iterations:1" are not part of the name.
        if (run.run_type == Run::RT_Iteration) {
            const auto& name = run.run_name;
            byName[name.function_name + (name.args.empty() ? "" : "/" + name.args)] = &run;
        }
    }
    std::vector<Row> rows{{"Benchmark", "Figure", "Goal", "Ratio", "Met"}};
    bool noneFailed = true;
    for (const Goal& goal : goals) {
        const auto it = byName.find(goal.benchmark);
        const Run* run = it == byName.end() ? nullptr : it->second;
        noneFailed = noneFailed && (run == nullptr || !run->error_occurred);
        rows.push_back(rowFor(goal, run));
    }

    std::size_t widths[5] = {};
    for (const Row& row : rows) {
        const std::string* cells[5] = {&row.name, &row.figure, &row.goal, &row.ratio, &row.met};
        for (int i = 0; i < 5; ++i) {
            widths[i] = std::max(widths[i], displayWidth(*cells[i]));
        }
    }
    auto rule = [&] {
        for (int i = 0; i < 5; ++i) {
            out << (i == 0 ? "" : "  ") << std::string(widths[i], '-');
        }
        out << '\n';
    };
    out << '\n';
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        const std::string* cells[5] = {&row.name, &row.figure, &row.goal, &row.ratio, &row.met};
        for (int i = 0; i < 5; ++i) {
            out << (i == 0 ? "" : "  ") << *cells[i];
            if (i < 4) {
                out << std::string(widths[i] - displayWidth(*cells[i]), ' ');
            }
        }
        out << '\n';
        if (r == 0) {
            rule();
        }
    }
    return noneFailed;
}

}  // namespace kivora::bench
