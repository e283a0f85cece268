// `ostrel simulate`: a whole job headless in virtual time, its summary and its burn picture.
#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/Commands.h"
#include "app/Inputs.h"
#include "app/SimulationCommandLine.h"
#include "picture/CalibrationCard.h"
#include "picture/PictureSettings.h"
#include "simulation/BurnPicture.h"
#include "simulation/JobSimulation.h"

namespace ostrel::app {

namespace {

constexpr int kFinished = 0;
constexpr int kStillRunning = 1;
constexpr int kUnusable = 2;

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

// Every row is swept left to right: a resumed job goes on in +X.
constexpr const char* kSweepDirection = "+X";

std::string jobName(const simulation::JobSpec& spec) {
    const std::string size = std::to_string(spec.width) + "x" + std::to_string(spec.height);
    if (spec.kind == simulation::JobKind::Frame) {
        return "frame " + size + (spec.autoLaser ? ", Auto laser" : ", laser off");
    }
    return "picture " + spec.picturePath + ", " + size + ", " +
           (spec.coarse ? "Coarse-Burning, sensitivity " + std::to_string(spec.sensitivity)
                        : std::string("Precise-Burning")) +
           (spec.hologram ? ", Hologram-Efect" : "");
}

// The summary as one JSON object; the keys are those the text summary shows, by name.
std::string summaryJson(const simulation::JobSpec& spec, const simulation::JobSummary& s,
                        const std::string& burnPath) {
    const bool picture = s.kind == simulation::JobKind::Picture;
    QJsonObject o{
        {"job", picture ? "picture" : "frame"},
        {"finished", s.outcome == simulation::JobOutcome::Finished},
        {"width", s.width},
        {"height", s.height},
        {"stepMs", std::stoi(spec.stepMs)},
        {"jobMs", static_cast<double>(s.jobMs)},
        {"jobTime", QString::fromStdString(simulation::clockText(s.jobMs))},
        {"rows", s.rows},
        {"dotsDealt", static_cast<double>(s.dotsDealt)},
        {"dotsBurned", static_cast<double>(s.dotsBurned)},
        {"laserPulses", static_cast<double>(s.laserPulses)},
        {"laserOnMs", s.laserOnMs},
        {"lostSteps", static_cast<double>(s.lostSteps)},
        {"wiringFaults", static_cast<double>(s.wiringFaults)},
        {"stalls", static_cast<double>(s.stalls)},
        {"xStepCount", s.xStepCount},
        {"yStepCount", s.yStepCount},
        {"headX", s.headX},
        {"headY", s.headY},
        {"maxXDrift", s.maxXDrift},
        {"lastXDrift", s.lastXDrift},
    };
    if (picture) {
        o.insert("picture", QString::fromStdString(spec.picturePath));
        o.insert("mode", spec.coarse ? "coarse" : "precise");
    }
    // NOTE: reported only when they differ from the designed job, so that the designed job's
    // summary stays as it always was.
    if (picture && !spec.pictureSettings.isDesigned())
        o.insert("pictureSettings", picture::settingsToJson(spec.pictureSettings));
    // NOTE: only a resumed job has the object, so that every other summary stays as it was.
    if (!spec.resumeJournal.empty()) {
        const jobs::ResumeOffer& r = s.resumed;
        o.insert("resumed", QJsonObject{
                                {"journal", QString::fromStdString(r.path)},
                                {"row", r.point.row},
                                {"column", r.point.column},
                                {"direction", kSweepDirection},
                                {"dotsDone", static_cast<double>(r.point.dots)},
                                {"dotsLeft", r.dotsLeft},
                                {"owedMs", r.point.owedMs},
                                {"records", static_cast<double>(r.records)},
                                {"tornTail", r.tornTail},
                            });
    }
    if (!burnPath.empty()) o.insert("burn", QString::fromStdString(burnPath));
    if (!s.error.empty()) o.insert("error", QString::fromStdString(s.error));
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

void printText(std::ostream& out, const simulation::JobSpec& spec, const simulation::JobSummary& s,
               const std::string& burnPath) {
    auto line = [&out](const char* label, const std::string& value) {
        std::string left = label;
        left.resize(18, ' ');
        out << left << value << '\n';
    };
    line("job", jobName(spec) + ", step " + spec.stepMs + " ms");
    if (!spec.resumeJournal.empty()) {
        const jobs::ResumeOffer& r = s.resumed;
        line("resumed", r.path + " at row " + std::to_string(r.point.row) + ", column " +
                            std::to_string(r.point.column) + " going " + kSweepDirection + ", " +
                            std::to_string(r.point.dots) + " dots done, " +
                            std::to_string(r.dotsLeft) + " to go" +
                            (r.point.owedMs > 0
                                 ? ", " + std::to_string(r.point.owedMs) + " ms owed to the last"
                                 : std::string()) +
                            "; " + std::to_string(r.records) + " records" +
                            (r.tornTail ? ", a torn last one left out" : ""));
    }
    const picture::PictureSettings& settings = spec.pictureSettings;
    if (s.kind == simulation::JobKind::Picture && !settings.isDesigned()) {
        const picture::ToneSettings& t = settings.tone;
        line("material", settings.material.name.toStdString());
        line("dithering", std::string(picture::ditherTitle(settings.dither)));
        line("tone", "brightness " + std::to_string(t.brightness) + ", contrast " +
                         std::to_string(t.contrast) + ", gamma " + number(t.gamma) +
                         (t.invert ? ", inverted" : ""));
    }
    line("job time", simulation::clockText(s.jobMs) + " (" + std::to_string(s.jobMs) + " ms)" +
                         (s.outcome == simulation::JobOutcome::Finished ? "" : ", still running"));
    if (s.kind == simulation::JobKind::Picture) {
        line("rows", std::to_string(s.rows));
        line("dots dealt with", std::to_string(s.dotsDealt));
        line("dots burned", std::to_string(s.dotsBurned));
    } else {
        line("laser pulses", std::to_string(s.laserPulses));
    }
    line("laser on", simulation::clockText(static_cast<int64_t>(s.laserOnMs)) + " (" +
                         number(s.laserOnMs) + " ms)");
    line("lost steps", std::to_string(s.lostSteps) + " half-steps");
    line("wiring faults", std::to_string(s.wiringFaults));
    line("stalls", std::to_string(s.stalls));
    line("counters", "X " + std::to_string(s.xStepCount) + ", Y " + std::to_string(s.yStepCount));
    line("head", "X " + number(s.headX) + ", Y " + number(s.headY) + " full steps from home");
    if (s.kind == simulation::JobKind::Picture) {
        line("X drift", "largest " + std::to_string(s.maxXDrift) + ", last " +
                            std::to_string(s.lastXDrift) + " full steps at the home switch");
    }
    if (!burnPath.empty()) line("burn picture", burnPath);
}

}  // namespace

int runSimulate(int argc, char** argv) {
    int exitCode = 0;
    std::optional<SimulateCommand> command =
        parseSimulateCommandLine(argc, argv, exitCode, std::cout, std::cerr);
    if (!command) return exitCode;
    simulation::JobSpec& spec = command->spec;

    // The picture decoders are Qt plugins; they need an application object, not a display.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);

    // NOTE: the burn picture's file is opened before the job runs, so that a path that cannot
    // be written stops the command before a long simulation.
    OutputFile burnFile;
    std::string error;
    if (!command->burnPath.empty() &&
        !burnFile.open("the burn picture", command->burnPath, error)) {
        std::cerr << "ostrel simulate: " << error << '\n';
        return kUnusable;
    }

    // NOTE: a profile that cannot be used ends the command; burning with the designed dwells
    // instead would pass for the material's job.
    if (!command->materialPath.empty()) {
        const picture::ProfileRead read =
            picture::readProfileFile(QString::fromStdString(command->materialPath));
        if (!read.profile) {
            std::cerr << "ostrel simulate: " << read.error.toStdString() << '\n';
            return kUnusable;
        }
        spec.pictureSettings.material = *read.profile;
    }
    QTemporaryDir cardFolder;
    if (command->card) {
        const picture::CalibrationCard card =
            picture::makeCalibrationCard(picture::dwellTable(spec.pictureSettings.material));
        const QString cardPath = cardFolder.filePath(QStringLiteral("card.png"));
        if (!cardFolder.isValid() || !card.picture.save(cardPath, "PNG")) {
            std::cerr << "ostrel simulate: the calibration card could not be made in a "
                         "temporary folder\n";
            return kUnusable;
        }
        if (!command->cardPicturePath.empty()) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            OutputFile cardFile;
            if (!card.picture.save(&buffer, "PNG") ||
                !cardFile.open("the calibration card", command->cardPicturePath, error) ||
                !cardFile.writeAndClose(std::string_view(bytes.constData(), bytes.size()), error)) {
                std::cerr << "ostrel simulate: "
                          << (error.empty() ? "the calibration card could not be made" : error)
                          << '\n';
                return kUnusable;
            }
        }
        spec.picturePath = cardPath.toStdString();
        spec.width = card.picture.width();
        spec.height = card.picture.height();
    }

    const simulation::JobSummary summary = simulation::simulateJob(spec);
    if (summary.outcome == simulation::JobOutcome::Unusable) {
        std::cerr << "ostrel simulate: " << shown(summary.error, 400) << '\n';
        return kUnusable;
    }
    if (summary.traceError != 0) {
        std::cerr << "ostrel simulate: cannot write the trace file " << shown(spec.tracePath, 200)
                  << ": " << std::strerror(summary.traceError) << '\n';
        return kUnusable;
    }
    if (command->json) {
        std::cout << summaryJson(spec, summary, command->burnPath);
    } else {
        printText(std::cout, spec, summary, command->burnPath);
    }
    if (!flushStandardOutput()) {
        std::cerr << "ostrel simulate: cannot write the summary on standard output\n";
        return kUnusable;
    }

    if (burnFile.isOpen()) {
        simulation::BurnStyle style;
        style.yStepScale = spec.yStepScale;
        const QImage burn = simulation::burnPicture(summary.exposures, style);
        if (burn.isNull()) {
            std::cerr << "ostrel simulate: the burn picture would be larger than "
                      << simulation::kMaxBurnPictureSide << " pixels a side\n";
            return kUnusable;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, command->burnFormat.c_str());
        if (!writer.write(burn)) {
            std::cerr << "ostrel simulate: cannot make the burn picture as " << command->burnFormat
                      << ": " << writer.errorString().toStdString() << '\n';
            return kUnusable;
        }
        if (!burnFile.writeAndClose(std::string_view(bytes.constData(), bytes.size()), error)) {
            std::cerr << "ostrel simulate: " << error << '\n';
            return kUnusable;
        }
    }
    if (summary.outcome == simulation::JobOutcome::StillRunning) {
        std::cerr << "ostrel simulate: " << summary.error << '\n';
        return kStillRunning;
    }
    return kFinished;
}

}  // namespace ostrel::app
