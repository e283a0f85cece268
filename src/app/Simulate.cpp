// `ostrel simulate`: a whole job headless in virtual time, its summary and its burn picture.
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/Commands.h"
#include "app/SimulationCommandLine.h"
#include "form/Form1.h"
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

std::string jsonText(const std::string& s) {
    return form::jsonString(s);
}

void printJson(std::ostream& out, const simulation::JobSpec& spec, const simulation::JobSummary& s,
               const std::string& burnPath) {
    const bool picture = s.kind == simulation::JobKind::Picture;
    out << "{\"job\":" << jsonText(picture ? "picture" : "frame")
        << ",\"finished\":" << (s.outcome == simulation::JobOutcome::Finished ? "true" : "false")
        << ",\"width\":" << s.width << ",\"height\":" << s.height << ",\"stepMs\":" << spec.stepMs
        << ",\"jobMs\":" << s.jobMs << ",\"jobTime\":" << jsonText(simulation::clockText(s.jobMs))
        << ",\"rows\":" << s.rows << ",\"dotsDealt\":" << s.dotsDealt
        << ",\"dotsBurned\":" << s.dotsBurned << ",\"laserPulses\":" << s.laserPulses
        << ",\"laserOnMs\":" << number(s.laserOnMs) << ",\"lostSteps\":" << s.lostSteps
        << ",\"wiringFaults\":" << s.wiringFaults << ",\"stalls\":" << s.stalls
        << ",\"xStepCount\":" << s.xStepCount << ",\"yStepCount\":" << s.yStepCount
        << ",\"headX\":" << number(s.headX) << ",\"headY\":" << number(s.headY)
        << ",\"maxXDrift\":" << s.maxXDrift << ",\"lastXDrift\":" << s.lastXDrift;
    if (picture) {
        out << ",\"picture\":" << jsonText(spec.picturePath)
            << ",\"mode\":" << jsonText(spec.coarse ? "coarse" : "precise");
    }
    // NOTE: reported only when they differ from the designed job, so that the designed job's
    // summary stays as it always was.
    if (picture && !spec.pictureSettings.isDesigned()) {
        out << ",\"pictureSettings\":"
            << QJsonDocument(picture::settingsToJson(spec.pictureSettings))
                   .toJson(QJsonDocument::Compact)
                   .toStdString();
    }
    if (!burnPath.empty()) out << ",\"burn\":" << jsonText(burnPath);
    if (!s.error.empty()) out << ",\"error\":" << jsonText(s.error);
    out << "}\n";
}

void printText(std::ostream& out, const simulation::JobSpec& spec, const simulation::JobSummary& s,
               const std::string& burnPath) {
    auto line = [&out](const char* label, const std::string& value) {
        std::string left = label;
        left.resize(18, ' ');
        out << left << value << '\n';
    };
    line("job", jobName(spec) + ", step " + spec.stepMs + " ms");
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

    // NOTE: the burn picture's file is tried before the job runs, so that a path that cannot be
    // written stops the command before a long simulation.
    if (!command->burnPath.empty()) {
        QFile probe(QString::fromStdString(command->burnPath));
        const bool existed = probe.exists();
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::cerr << "ostrel simulate: cannot write the burn picture " << command->burnPath
                      << ": " << probe.errorString().toStdString() << '\n';
            return kUnusable;
        }
        probe.close();
        if (!existed) probe.remove();
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
        if (!command->cardPicturePath.empty() &&
            !card.picture.save(QString::fromStdString(command->cardPicturePath), "PNG")) {
            std::cerr << "ostrel simulate: cannot write the calibration card "
                      << command->cardPicturePath << '\n';
            return kUnusable;
        }
        spec.picturePath = cardPath.toStdString();
        spec.width = card.picture.width();
        spec.height = card.picture.height();
    }

    const simulation::JobSummary summary = simulation::simulateJob(spec);
    if (summary.outcome == simulation::JobOutcome::Unusable) {
        std::cerr << "ostrel simulate: " << summary.error << '\n';
        return kUnusable;
    }
    if (command->json) {
        printJson(std::cout, spec, summary, command->burnPath);
    } else {
        printText(std::cout, spec, summary, command->burnPath);
    }
    std::cout.flush();

    if (!command->burnPath.empty()) {
        simulation::BurnStyle style;
        style.yStepScale = spec.yStepScale;
        std::string error;
        if (!simulation::SaveBurnPicture(simulation::BurnPicture(summary.exposures, style),
                                         command->burnPath, error)) {
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
