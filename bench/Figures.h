// The figures the benchmark measures, their goals, and the table and JSON they are shown in.
#pragma once

#include <string>
#include <vector>

namespace ostrel::bench {

enum class Goal { None, AtMost, AtLeast };

struct Figure {
    std::string key;   // stable name in the JSON, e.g. "jog5.p99_ms"
    std::string name;  // as the table shows it
    std::string unit;
    Goal goal = Goal::None;
    double goalValue = 0;
    int decimals = 3;
    std::vector<double> samples;  // one per repetition
    std::string note;             // why there is no sample, or what limits it
};

Figure makeFigure(std::string key, std::string name, std::string unit, Goal goal = Goal::None,
                  double goalValue = 0, int decimals = 3);

double percentile(std::vector<double> values, double fraction);
double median(const std::vector<double>& values);

// Whether the median meets the goal; true for a figure without a goal.
bool meetsGoal(const Figure& figure);

// One table: figure, value (the median), goal, ratio of value to goal, min / median / max.
std::string tableText(const std::vector<Figure>& figures);

struct RunInfo {
    std::string commit;
    std::string date;
    int repeats = 0;
    double loadBefore = 0, loadAfter = 0;  // the machine's 1-minute load average
    double wallSeconds = 0;
    std::string stepTiming;  // what the real-time runs' step timing ran at
};

std::string jsonText(const std::vector<Figure>& figures, const RunInfo& info);

}  // namespace ostrel::bench
