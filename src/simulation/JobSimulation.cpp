// A whole job headless: its own virtual loop, simulated engraver and core, driven through the
// window's events from power-on (or from a copied window) until the job's timers are off.
#include "simulation/JobSimulation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "engraver/Engraver.h"
#include "form/HeadlessHost.h"
#include "form/Snapshot.h"
#include "jobs/PictureRun.h"
#include "machine/TracingPort.h"
#include "picture/Tone.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::simulation {

namespace {

using form::Form1;

constexpr int kTwipsPerPixel = 15;
constexpr int kBorderPixels = 2;  // a picture box's border, one pixel on each side

// The slider value that gives a drawing area of `pixels`.
std::string sliderValue(int pixels) {
    return std::to_string((pixels + kBorderPixels) * kTwipsPerPixel);
}

// One core on its own clock and machine, and what a summary needs to know about its run.
class Simulation {
  public:
    Simulation(const machine::SimConfig& config, std::string folder)
        : sim_(config, [this] { return loop_.nowMs(); }) {
        // The Load dialog answers with the job's picture; every message is kept for the summary.
        host_.folder = std::move(folder);
        host_.viewerWorks = false;
    }

    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // NOTE: the trace must be chosen before build(): the core keeps the port it is given.
    bool traceTo(const std::string& path, std::string& error) {
        trace_ = std::make_unique<machine::TracingPort>(sim_, [this] { return loop_.nowMs(); });
        return trace_->openCsv(path, false, error);
    }
    int traceError() const { return trace_ ? trace_->csvError() : 0; }

    void build(JobKind kind) {
        kind_ = kind;
        engraver_ = std::make_unique<engraver::Engraver>(
            loop_, trace_ ? static_cast<machine::Port&>(*trace_) : sim_, host_);
        // NOTE: a computed job keeps no journal: it is no job to resume, and a record per dot
        // and a sync per half second of machine time made a full-size job's computation several
        // times slower (thousands of fdatasync calls on the disk of its temporary folder).
        engraver_->pictureRun().setJournalling(false);
        laserWasOn_ = sim_.laserOn();
        sim_.setObserver([this] {
            const bool on = sim_.laserOn();
            if (on && !laserWasOn_) ++laserPulses_;
            laserWasOn_ = on;
        });
    }

    engraver::Engraver& engraver() { return *engraver_; }
    Form1& form() { return engraver_->form(); }
    form::HeadlessHost& host() { return host_; }

    // An operator event that must be taken; false (with `error` set) when the window refused.
    bool click(const std::string& name) { return accepted(name, engraver_->click(name), ""); }
    bool set(const std::string& name, const std::string& value) {
        return accepted(name, engraver_->set(name, value), value);
    }

    // Advances machine time until `timer` is off; false after `maxMs`.
    bool runUntilOff(runtime::Timer Form1::*timer, int64_t maxMs) {
        Form1& f = form();
        return loop_.advanceUntil([&f, timer] { return !(f.*timer).Enabled(); }, maxMs);
    }

    // Presses Run and runs the job until every job timer is off.
    JobSummary run(int64_t maxJobMs) {
        JobSummary s = started();
        const int64_t runAt = loop_.now();
        if (!click("Command2(1)")) return unusable(s);
        if (!jobRunning()) {
            error_ = "Run started no job";
            for (const auto& [text, title] : host_.messages)
                error_ += " (" + title + ": " + text + ")";
            return unusable(s);
        }
        if (kind_ == JobKind::Picture) countDots();
        return follow(s, runAt, maxJobMs);
    }

    // Resumes the job of the journal at `path` instead of Run: homing, the laser-off travel,
    // then the run from the journal's dot until every job timer is off. `named` is the journal
    // as the operator named it, for the summary.
    JobSummary resume(const std::string& path, const std::string& named, int64_t maxJobMs) {
        JobSummary s = started();
        const int64_t resumeAt = loop_.now();
        jobs::JobResume& resume = engraver_->jobResume();
        if (const std::string why = resume.resume(path); !why.empty()) {
            error_ = why;
            return unusable(s);
        }
        s.resumed = resume.offer();
        s.resumed.path = named;
        // NOTE: the dots are counted from the moment the run takes over, so that the column the
        // resume puts back is not counted as dots dealt with.
        if (loop_.advanceUntil([&resume] { return !resume.running(); }, maxJobMs)) {
            if (!jobRunning()) {
                error_ = "the resume homed and travelled but started no job";
                return unusable(s);
            }
            countDots();
        }
        return follow(s, resumeAt, maxJobMs - (loop_.now() - resumeAt));
    }

    JobSummary unusable(JobSummary s = {}) const {
        s.outcome = JobOutcome::Unusable;
        s.error = error_;
        return s;
    }
    void fail(std::string error) { error_ = std::move(error); }

  private:
    JobSummary started() {
        JobSummary s;
        s.kind = kind_;
        const Form1& f = form();
        const form::PictureBox& raster = kind_ == JobKind::Picture ? f.Picture2 : f.Picture3;
        s.width = raster.ScaleWidth();
        s.height = raster.ScaleHeight();
        return s;
    }

    // Runs the job started at `startedAt` until every job timer is off, and sums it up.
    JobSummary follow(JobSummary s, int64_t startedAt, int64_t maxMs) {
        Form1& f = form();
        const bool finished = loop_.advanceUntil([this] { return !jobRunning(); }, maxMs);
        loop_.setAfterDispatch({});
        s.jobMs = loop_.now() - startedAt;
        s.outcome = finished ? JobOutcome::Finished : JobOutcome::StillRunning;
        if (!finished) {
            s.error = "the job was still running after " + clockText(s.jobMs) + " of machine time";
        }

        if (kind_ == JobKind::Picture) {
            s.rows = static_cast<int>(std::lround(jobs::progressValue(f.pixelRow))) + 1;
            s.dotsDealt = dotsDealt_;
            s.dotsBurned = laserPulses_;
            s.maxXDrift = engraver_->pictureRun().maxXDrift();
            s.lastXDrift = engraver_->pictureRun().lastXDrift();
        }
        s.laserPulses = laserPulses_;
        machineFigures(s, f, sim_);
        return s;
    }

    bool jobRunning() { return form::anyEnabled(form(), form::kJobTimers); }

    bool accepted(const std::string& name, engraver::EventResult result, const std::string& value) {
        if (result == engraver::EventResult::Handled) return true;
        error_ = value.empty() ? "the window did not take a click on " + name
                               : "the window did not take " + value + " for " + name;
        if (result == engraver::EventResult::Disabled) error_ += " (it is disabled)";
        if (result == engraver::EventResult::BadValue) error_ += " (not a value it can take)";
        return false;
    }

    // Counts the dots as the sweep deals with them: each adds one to pixelColumn, which
    // the return sets back to "0".
    // NOTE: compares the text first; most ticks leave it as it is.
    void countDots() {
        Form1& f = form();
        columnText_ = f.pixelColumn;
        column_ = jobs::progressValue(columnText_);
        loop_.setAfterDispatch([this, &f] {
            if (f.pixelColumn == columnText_) return;
            columnText_ = f.pixelColumn;
            const double now = jobs::progressValue(columnText_);
            if (now > column_) dotsDealt_ += std::llround(now - column_);
            column_ = now;
        });
    }

    // NOTE: declaration order is destruction order in reverse: the core goes first, the loop
    // that everything points into goes last.
    runtime::VirtualEventLoop loop_;
    machine::SimEngraver sim_;
    std::unique_ptr<machine::TracingPort> trace_;
    form::HeadlessHost host_;
    std::unique_ptr<engraver::Engraver> engraver_;
    JobKind kind_ = JobKind::Picture;
    std::string error_;
    bool laserWasOn_ = false;
    int64_t laserPulses_ = 0;
    int64_t dotsDealt_ = 0;
    std::string columnText_;
    double column_ = 0;
};

}  // namespace

void machineFigures(JobSummary& s, const Form1& f, const machine::SimEngraver& sim) {
    s.exposures = sim.exposures();
    s.laserOnMs = 0;
    for (const machine::Exposure& e : s.exposures) s.laserOnMs += e.ms;
    s.lostSteps = sim.lostSteps();
    s.stalls = sim.stalls();
    s.wiringFaults = sim.faults();
    s.xStepCount = f.xStepCount;
    s.yStepCount = f.yStepCount;
    s.headX = static_cast<double>(sim.x()) / 2;
    s.headY = static_cast<double>(sim.y()) / 2;
}

std::string checkSpec(const JobSpec& spec) {
    const int maxWidth = kLargestRasterWidth, maxHeight = kLargestRasterHeight;
    if (spec.width < kSmallestRaster || spec.width > maxWidth || spec.height < kSmallestRaster ||
        spec.height > maxHeight) {
        return "the size " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
               " is outside " + std::to_string(kSmallestRaster) + "-" + std::to_string(maxWidth) +
               " x " + std::to_string(kSmallestRaster) + "-" + std::to_string(maxHeight) +
               " pixels";
    }
    if (spec.sensitivity < 0 || spec.sensitivity > 254) {
        return "the sensitivity " + std::to_string(spec.sensitivity) + " is outside 0-254";
    }
    if (runtime::parseIntervalText(spec.stepMs) < 0) {
        return "the step period \"" + spec.stepMs + "\" is no whole number of 1-65535 ms";
    }
    if (spec.yStepScale < 1 || spec.yStepScale > 64) {
        return "the Y step scale " + std::to_string(spec.yStepScale) + " is outside 1-64";
    }
    const picture::ToneSettings& tone = spec.pictureSettings.tone;
    for (auto [name, value] :
         {std::pair{"brightness", tone.brightness}, std::pair{"contrast", tone.contrast}}) {
        if (value < -picture::kToneLimit || value > picture::kToneLimit) {
            return "the " + std::string(name) + " " + std::to_string(value) +
                   " is outside -100 to 100";
        }
    }
    if (!(tone.gamma >= picture::kGammaMin && tone.gamma <= picture::kGammaMax)) {
        char gamma[32];
        std::snprintf(gamma, sizeof gamma, "%g", tone.gamma);
        return "the gamma " + std::string(gamma) + " is outside 0.1 to 10";
    }
    if (spec.kind == JobKind::Picture) {
        std::error_code ec;
        const std::filesystem::path path(spec.picturePath);
        if (spec.picturePath.empty()) return "no picture given";
        if (!std::filesystem::exists(path, ec)) {
            return "cannot read the picture " + spec.picturePath + ": no such file";
        }
        if (!std::filesystem::is_regular_file(path, ec)) {
            return "cannot read the picture " + spec.picturePath + ": not a file";
        }
        if (std::filesystem::file_size(path, ec) == 0 || ec) {
            return "cannot use the picture " + spec.picturePath + ": the file is empty";
        }
    }
    if (!spec.resumeJournal.empty()) {
        if (spec.kind != JobKind::Picture) return "only a picture job has a journal to resume";
        std::error_code ec;
        const std::filesystem::path path(spec.resumeJournal);
        if (!std::filesystem::exists(path, ec)) {
            return "There is no job journal to resume (" + spec.resumeJournal + ").";
        }
        if (!std::filesystem::is_regular_file(path, ec)) {
            return "cannot read the journal " + spec.resumeJournal + ": not a file";
        }
    }
    const machine::SimConfig& m = spec.machine;
    if (m.rotorX < 0 || m.rotorX > 7 || m.rotorY < 0 || m.rotorY > 7) {
        return "the rotor angles " + std::to_string(m.rotorX) + "," + std::to_string(m.rotorY) +
               " are outside 0-7";
    }
    if (!(m.headX >= m.xStopMin && m.headX <= m.xStopMax && m.headY >= m.yStopMin &&
          m.headY <= m.yStopMax)) {
        char head[64];
        std::snprintf(head, sizeof head, "%g,%g", m.headX, m.headY);
        return "the head at " + std::string(head) + " is beyond the mechanical stops (X " +
               std::to_string(m.xStopMin) + " to " + std::to_string(m.xStopMax) + ", Y " +
               std::to_string(m.yStopMin) + " to " + std::to_string(m.yStopMax) + ")";
    }
    return {};
}

namespace {

// More than any job's journal holds: a record for each of the largest picture's dots, its
// pulses and a pause in every one.
constexpr off_t kMaxJournalBytes = 64LL << 20;

// Copies the journal at `from` to `to`: the resume reads the copy, and the operator's file is
// read once and left as it is. "" or why not.
// NOTE: opened without blocking and checked to be a regular file of a journal's size before a
// byte is read: a FIFO or a device named as the journal must not hang or fill the memory.
std::string copyJournal(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        return errno == ENOENT ? "There is no job journal to resume (" + from + ")."
                               : "cannot read the journal " + from + ": " + std::strerror(errno);
    }
    struct stat st {};
    std::string bytes, error;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read the journal " + from + ": not a file";
    } else if (st.st_size > kMaxJournalBytes) {
        error = "The file is not a job journal.";
    } else {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(in, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got != bytes.size()) error = "cannot read the journal " + from + ": it changed";
    }
    ::close(in);
    if (!error.empty()) return error;
    QFile out(QString::fromStdString(to));
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !out.flush()) {
        return "cannot copy the journal into a temporary folder";
    }
    return {};
}

const char* optionOf(JobKind kind) {
    return kind == JobKind::Picture ? "Option1" : "Option2";
}

// The operator's set-up, in the order the job needs it. False (with the reason kept) when a
// step was refused.
bool setUp(Simulation& s, const JobSpec& spec) {
    Form1& f = s.form();
    // Home X, then Y, each until its axis stops; then wait until the start-up notice is gone,
    // since the watchdog would force the port to rest under a running job.
    if (!s.click("Command3")) return false;
    if (!s.runUntilOff(&Form1::Timer1, spec.maxJobMs)) {
        s.fail("Go Home (X) did not reach the X home switch");
        return false;
    }
    if (!s.click("Command5")) return false;
    if (!s.runUntilOff(&Form1::Timer2, spec.maxJobMs)) {
        s.fail("Go Home (Y) did not reach the Y home switch");
        return false;
    }
    if (!s.runUntilOff(&Form1::Timer10, spec.maxJobMs)) {
        s.fail("the start-up watchdog did not end");
        return false;
    }

    const bool picture = spec.kind == JobKind::Picture;
    if (!s.set(picture ? "HScroll1" : "HScroll2", sliderValue(spec.width)) ||
        !s.set(picture ? "VScroll1" : "VScroll2", sliderValue(spec.height))) {
        return false;
    }
    // NOTE: the sensitivity before the mode: Precise-Burning disables its slider.
    if (!s.set("HScroll3", std::to_string(spec.sensitivity)) ||
        !s.set("Check1", spec.coarse ? "1" : "0") || !s.set("Check2", spec.hologram ? "1" : "0") ||
        !s.set("Combo1", spec.stepMs)) {
        return false;
    }

    if (picture) {
        // Before Load: the tone and the mask are applied as the picture is prepared.
        s.engraver().setPictureSettings(spec.pictureSettings);
        s.host().dialogAnswers.assign(1, spec.picturePath);
        if (!s.click("Command2(0)")) return false;
        if (!s.host().errors.empty()) {
            s.fail(s.host().errors.back());
            return false;
        }
        if (f.Picture1.raster.isNull()) {
            s.fail("the picture " + spec.picturePath + " was not loaded");
            return false;
        }
    }
    if (!s.click(optionOf(spec.kind))) return false;

    if (spec.autoLaser) {
        if (!s.click("Command2(6)") || !s.click("Command6") || !s.click("Command2(6)")) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string clockText(int64_t ms) {
    const int64_t seconds = std::max<int64_t>(0, ms) / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buf;
}

JobSummary simulateJob(const JobSpec& spec) {
    JobSummary refused;
    refused.kind = spec.kind;
    refused.yStepScale = spec.yStepScale;
    refused.error = checkSpec(spec);
    if (!refused.error.empty()) return refused;

    // Load writes the prepared picture beside the program; a job of our own keeps it in a
    // folder that goes with it.
    std::unique_ptr<QTemporaryDir> scratch;
    std::string folder = spec.programFolder;
    if (folder.empty()) {
        scratch = std::make_unique<QTemporaryDir>();
        if (!scratch->isValid()) {
            refused.error = "cannot make a temporary folder for the prepared picture";
            return refused;
        }
        folder = scratch->path().toStdString();
    }

    // The resume works on a copy of the journal in a folder of its own.
    QTemporaryDir journalFolder;
    std::string journal;
    if (!spec.resumeJournal.empty()) {
        if (!journalFolder.isValid()) {
            refused.error = "cannot make a temporary folder for the journal";
            return refused;
        }
        journal = journalFolder.filePath(jobs::kJournalFileName).toStdString();
        refused.error = copyJournal(spec.resumeJournal, journal);
        if (!refused.error.empty()) return refused;
    }

    Simulation s(spec.machine, folder);
    if (!spec.tracePath.empty()) {
        std::string error;
        if (!s.traceTo(spec.tracePath, error)) {
            refused.error = error;
            return refused;
        }
    }
    s.build(spec.kind);
    s.engraver().load();
    if (!setUp(s, spec)) {
        JobSummary failed = s.unusable(refused);
        return failed;
    }
    JobSummary summary = journal.empty() ? s.run(spec.maxJobMs)
                                         : s.resume(journal, spec.resumeJournal, spec.maxJobMs);
    summary.yStepScale = spec.yStepScale;
    summary.traceError = s.traceError();
    return summary;
}

JobSummary simulateFrom(const form::Snapshot& window, const machine::SimEngraver& head,
                        JobKind kind, int64_t maxJobMs) {
    machine::SimConfig config = head.config();
    config.headX = static_cast<double>(head.x()) / 2;
    config.headY = static_cast<double>(head.y()) / 2;
    config.rotorX = head.rotorX();
    config.rotorY = head.rotorY();
    config.data = head.data();
    config.control = head.control();

    // No Load: nothing in the copy writes "picture.bmp" or asks for a folder.
    Simulation s(config, std::string());
    s.build(kind);
    s.form().restore(window);
    JobSummary refused;
    refused.kind = kind;
    if (!s.click(optionOf(kind))) return s.unusable(refused);
    return s.run(maxJobMs);
}

}  // namespace ostrel::simulation
