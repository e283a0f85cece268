// `ostrel latency`: the step-timing self-test on the monotonic clock, without the port, with a
// verdict for a step speed and the shortest dwell.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/Commands.h"
#include "jobs/Dwell.h"
#include "runtime/QtEventLoop.h"
#include "runtime/StepTimingProbe.h"
#include "runtime/TimingPriority.h"

namespace ostrel::app {

namespace {

constexpr int kUsageError = 2;
constexpr int kLongestSeconds = 3600;

std::string ms(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", value);
    return text;
}

std::string figures(const runtime::TimingErrorStats& s) {
    return "p50 " + ms(s.percentile(0.5)) + ", p99 " + ms(s.percentile(0.99)) + ", max " +
           ms(s.maxMs());
}

std::string bandName(size_t band) {
    const auto& upper = runtime::TimingErrorStats::kBandUpperMs;
    char text[32];
    if (band + 1 == upper.size()) {
        std::snprintf(text, sizeof text, "  > %g ms", upper[band - 1]);
    } else {
        std::snprintf(text, sizeof text, "<= %g ms", upper[band]);
    }
    return text;
}

std::string histogram(const runtime::TimingErrorStats& s) {
    constexpr size_t kWidth = 40;
    size_t most = 1;
    for (const size_t n : s.bands()) most = std::max(most, n);
    std::string text;
    for (size_t b = 0; b < s.bands().size(); ++b) {
        const size_t n = s.bands()[b];
        char line[64];
        std::snprintf(line, sizeof line, "  %-11s %8zu  ", bandName(b).c_str(), n);
        // A band with any error in it shows at least one mark.
        const size_t marks = n == 0 ? 0 : std::max<size_t>(1, n * kWidth / most);
        text += line + std::string(marks, '#') + '\n';
    }
    return text;
}

}  // namespace

int runLatency(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Tests this computer's step timing: runs the step loop of a picture run (steps and dot "
        "pulses) on the monotonic clock without writing the port, shows the period errors, and "
        "judges the step speed and the shortest dwell good, marginal or unsuitable.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption seconds("seconds", "How long to test, 1-3600 s (default 10).", "N",
                                     "10");
    const QCommandLineOption period("period", "The step period, 1-65535 ms (default 5).", "MS",
                                    "5");
    const QCommandLineOption normal("normal-priority",
                                    "Test at normal scheduling priority, as "
                                    "'ostrel --normal-priority' runs.");
    parser.addOptions({help, seconds, period, normal});
    QStringList args{QStringLiteral("ostrel latency")};
    for (int i = 2; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(args) || !parser.positionalArguments().isEmpty()) {
        std::cerr << "ostrel latency: "
                  << (parser.positionalArguments().isEmpty()
                          ? parser.errorText().toStdString()
                          : "unexpected argument '" +
                                parser.positionalArguments().first().toStdString() + "'")
                  << "\nTry 'ostrel latency --help'.\n";
        return kUsageError;
    }
    if (parser.isSet(help)) {
        std::string text = parser.helpText().toStdString();
        text = "Usage: ostrel latency [--seconds N] [--period MS] [--normal-priority]" +
               text.substr(text.find('\n'));
        std::cout << text
                  << "\nVerdicts: steps are good while 99 % of the periods are within 2 % of the "
                     "period\nand all within 10 %; marginal within 10 % and 50 %. Dots are good "
                     "while 99 %\nof the on-times are within 0.1 ms and all within 0.5 ms; "
                     "marginal within\n0.5 ms and 10 % of the shortest dwell. Else "
                     "unsuitable.\n";
        return 0;
    }
    bool secondsOk = false;
    const int testSeconds = parser.value(seconds).toInt(&secondsOk);
    if (!secondsOk || testSeconds < 1 || testSeconds > kLongestSeconds) {
        std::cerr << "ostrel latency: --seconds takes a whole number from 1 to 3600\n";
        return kUsageError;
    }
    const int periodMs = runtime::parseIntervalText(parser.value(period).toStdString());
    if (periodMs < 0) {
        std::cerr << "ostrel latency: --period takes a step period from 1 to 65535 ms\n";
        return kUsageError;
    }

    runtime::StepTimingSettings settings;
    settings.periodMs = periodMs;
    settings.dwellMs = *std::min_element(jobs::kDwellMs.begin(), jobs::kDwellMs.end());
    settings.seconds = testSeconds;
    const bool raise = !parser.isSet(normal);
    runtime::TimingPriority priority(runtime::systemSchedulerCalls(), raise);
    runtime::QtEventLoop loop;
    loop.setTimingPriority(&priority);
    runtime::StepTimingProbe probe(loop, settings);
    probe.setOnFinished([] { QCoreApplication::quit(); });

    std::cout << "Testing the step timing for " << testSeconds << " s: steps of " << periodMs
              << " ms, dots of " << settings.dwellMs << " ms; the port is not written.\n"
              << std::flush;
    // On a terminal a line of live figures, rewritten every second.
    QTimer live;
    const bool terminal = isatty(STDOUT_FILENO) != 0;
    if (terminal) {
        live.setInterval(1000);
        QObject::connect(&live, &QTimer::timeout, [&] {
            std::cout << "\r  " << static_cast<int>(probe.elapsedMs() / 1000) << " s: step "
                      << figures(probe.periods()) << "   " << std::flush;
        });
        live.start();
    }
    probe.start();
    QCoreApplication::exec();
    live.stop();
    if (terminal) std::cout << '\n';

    const std::string ran = priority.describe();
    const std::string note = priorityNote(priority.raisedClass(), raise);
    const runtime::Verdict steps = judgeSteps(probe.periods(), periodMs, note);
    const runtime::Verdict dots = judgeDwell(probe.onTimes(), settings.dwellMs, note);
    std::cout << "Ran at " << ran << ".\n"
              << "Step period error: " << figures(probe.periods()) << " ("
              << probe.periods().count() << " ticks)\n"
              << "Dot on-time error: " << figures(probe.onTimes()) << " ("
              << probe.onTimes().count() << " dots)\n"
              << "Step period errors:\n"
              << histogram(probe.periods()) << "Step speed " << periodMs
              << " ms: " << ratingText(steps.rating) << " (" << steps.reason << ")\n"
              << "Shortest dwell " << settings.dwellMs << " ms: " << ratingText(dots.rating) << " ("
              << dots.reason << ")\n";
    return 0;
}

}  // namespace ostrel::app
