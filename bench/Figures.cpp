// Statistics of the benchmark's samples and the table and JSON it writes.
#include "Figures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel::bench {

namespace {

std::string number(double value, int decimals) {
    if (!std::isfinite(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string goalText(const Figure& f) {
    switch (f.goal) {
        case Goal::None:
            return "-";
        case Goal::AtMost:
            return "<= " + number(f.goalValue, f.decimals);
        case Goal::AtLeast:
            return ">= " + number(f.goalValue, f.decimals);
    }
    return "-";
}

QJsonValue jsonNumber(double value) {
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonText(const std::string& text) {
    return QString::fromStdString(text);
}

std::string padded(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

Figure makeFigure(std::string key, std::string name, std::string unit, Goal goal, double goalValue,
                  int decimals) {
    Figure f;
    f.key = std::move(key);
    f.name = std::move(name);
    f.unit = std::move(unit);
    f.goal = goal;
    f.goalValue = goalValue;
    f.decimals = decimals;
    return f;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value with at least `fraction` of the values at or below it.
    const double rank = std::ceil(fraction * static_cast<double>(values.size()));
    const size_t index = static_cast<size_t>(std::clamp(rank, 1.0, double(values.size()))) - 1;
    return values[index];
}

double median(const std::vector<double>& values) {
    if (values.empty()) return NAN;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool meetsGoal(const Figure& f) {
    const double value = median(f.samples);
    switch (f.goal) {
        case Goal::None:
            return true;
        case Goal::AtMost:
            return value <= f.goalValue;
        case Goal::AtLeast:
            return value >= f.goalValue;
    }
    return true;
}

std::string tableText(const std::vector<Figure>& figures) {
    struct Row {
        std::string cells[6];
    };
    std::vector<Row> rows;
    rows.push_back({{"figure", "value", "goal", "ratio", "min / median / max", ""}});
    for (const Figure& f : figures) {
        Row r;
        r.cells[0] = f.name + (f.unit.empty() ? "" : " (" + f.unit + ")");
        if (f.samples.empty()) {
            r.cells[1] = "n/a";
            r.cells[2] = goalText(f);
            r.cells[3] = "-";
            r.cells[4] = f.note;
            r.cells[5] = "";
        } else {
            const double value = median(f.samples);
            r.cells[1] = number(value, f.decimals);
            r.cells[2] = goalText(f);
            r.cells[3] =
                f.goal == Goal::None || f.goalValue == 0 ? "-" : number(value / f.goalValue, 2);
            const auto [lo, hi] = std::minmax_element(f.samples.begin(), f.samples.end());
            r.cells[4] = number(*lo, f.decimals) + " / " + number(value, f.decimals) + " / " +
                         number(*hi, f.decimals);
            r.cells[5] = f.goal == Goal::None ? "" : meetsGoal(f) ? "ok" : "MISSED";
        }
        rows.push_back(r);
    }
    size_t width[6] = {};
    for (const Row& r : rows) {
        for (int i = 0; i < 6; ++i) width[i] = std::max(width[i], r.cells[i].size());
    }
    std::string text;
    for (size_t n = 0; n < rows.size(); ++n) {
        const Row& r = rows[n];
        std::string line = padded(r.cells[0], width[0], false);
        for (int i = 1; i < 6; ++i) line += "  " + padded(r.cells[i], width[i], i == 1 || i == 3);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        text += line + '\n';
        if (n == 0) text += std::string(line.size(), '-') + '\n';
    }
    return text;
}

std::string jsonText(const std::vector<Figure>& figures, const RunInfo& info) {
    QJsonArray list;
    for (const Figure& f : figures) {
        QJsonObject figure{
            {"key", jsonText(f.key)}, {"name", jsonText(f.name)}, {"unit", jsonText(f.unit)}};
        figure.insert("goal", f.goal == Goal::None ? QJsonValue(QJsonValue::Null)
                              : f.goal == Goal::AtMost
                                  ? QJsonObject{{"at_most", jsonNumber(f.goalValue)}}
                                  : QJsonObject{{"at_least", jsonNumber(f.goalValue)}});
        const bool any = !f.samples.empty();
        QJsonArray samples;
        for (const double v : f.samples) samples.append(jsonNumber(v));
        double lo = NAN, hi = NAN;
        if (any) {
            lo = *std::min_element(f.samples.begin(), f.samples.end());
            hi = *std::max_element(f.samples.begin(), f.samples.end());
        }
        figure.insert("value", jsonNumber(median(f.samples)));
        figure.insert("min", jsonNumber(lo));
        figure.insert("max", jsonNumber(hi));
        figure.insert("samples", samples);
        figure.insert("met", any ? QJsonValue(meetsGoal(f)) : QJsonValue(QJsonValue::Null));
        if (!f.note.empty()) figure.insert("note", jsonText(f.note));
        list.append(figure);
    }
    const QJsonObject run{{"commit", jsonText(info.commit)},
                          {"date", jsonText(info.date)},
                          {"repeats", info.repeats},
                          {"load_average_before", jsonNumber(info.loadBefore)},
                          {"load_average_after", jsonNumber(info.loadAfter)},
                          {"wall_seconds", jsonNumber(info.wallSeconds)},
                          {"step_timing", jsonText(info.stepTiming)},
                          {"figures", list}};
    return QJsonDocument(run).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace ostrel::bench
