// The resume preview: Resume run on a copy, in virtual time, in a folder of its own.
#include "simulation/ResumePreview.h"

#include <QFile>
#include <QTemporaryDir>
#include <filesystem>

#include "engraver/Engraver.h"
#include "form/HeadlessHost.h"
#include "jobs/JobJournal.h"
#include "machine/Registers.h"
#include "runtime/ThreadSignals.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::simulation {

namespace {

constexpr const char* kPictureFileName = "picture.bmp";

// Size and modification time of a file; false when there is none.
bool statFile(const std::string& path, int64_t& size, int64_t& modified) {
    std::error_code ec;
    const std::filesystem::path p(path);
    if (!std::filesystem::is_regular_file(p, ec)) return false;
    const auto bytes = std::filesystem::file_size(p, ec);
    if (ec) return false;
    const auto time = std::filesystem::last_write_time(p, ec);
    if (ec) return false;
    size = static_cast<int64_t>(bytes);
    modified = static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
    return true;
}

bool readFile(const std::string& path, std::string& bytes) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    bytes.assign(all.constData(), static_cast<size_t>(all.size()));
    return true;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const qint64 size = static_cast<qint64>(bytes.size());
    return file.write(bytes.data(), size) == size && file.flush();
}

bool jobOver(engraver::Engraver& e) {
    form::Form1& f = e.form();
    for (runtime::Timer* t :
         {&f.Timer1, &f.Timer2, &f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9}) {
        if (t->Enabled()) return false;
    }
    return !e.jobPause().paused() && !e.jobResume().running();
}

}  // namespace

ResumeInputs resumeInputs(const form::Form1& form, const machine::SimEngraver* sim,
                          const std::string& programFolder) {
    ResumeInputs in;
    in.job = jobInputs(form, sim);
    if (programFolder.empty()) return in;
    in.journalExists =
        statFile(programFolder + "/" + jobs::kJournalFileName, in.journalSize, in.journalModified);
    statFile(programFolder + "/" + kPictureFileName, in.pictureSize, in.pictureModified);
    return in;
}

JobSummary simulateResume(const form::Snapshot& window, const machine::SimEngraver& head,
                          const std::string& journal, const std::string& picture,
                          int64_t maxJobMs) {
    JobSummary s;
    s.kind = JobKind::Picture;
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        s.error = "cannot make a temporary folder for the resume";
        return s;
    }
    const std::string folder = scratch.path().toStdString();
    if (!writeFile(folder + "/" + kPictureFileName, picture) ||
        !writeFile(folder + "/" + jobs::kJournalFileName, journal)) {
        s.error = "cannot copy the journal and picture.bmp for the resume";
        return s;
    }

    machine::SimConfig config = head.config();
    config.headX = static_cast<double>(head.x()) / 2;
    config.headY = static_cast<double>(head.y()) / 2;
    config.rotorX = head.rotorX();
    config.rotorY = head.rotorY();
    config.data = head.data();
    config.control = head.control();

    // NOTE: declaration order is destruction order in reverse: the core goes first, the loop
    // that everything points into goes last.
    runtime::VirtualEventLoop loop;
    machine::SimEngraver sim(config, [&loop] { return loop.nowMs(); });
    form::HeadlessHost host;
    host.folder = folder;
    host.viewerWorks = false;
    engraver::Engraver engraver(loop, sim, host);
    // NOTE: a computed resume keeps no journal of its own: a record per dot and a sync per half
    // second of machine time would make a long job's computation slow.
    engraver.pictureRun().setJournalling(false);
    engraver.form().restore(window);
    s.width = engraver.form().Picture2.ScaleWidth();
    s.height = engraver.form().Picture2.ScaleHeight();

    bool laserWasOn = sim.laserOn();
    int64_t pulses = 0;
    sim.setObserver([&] {
        const bool on = sim.laserOn();
        if (on && !laserWasOn) ++pulses;
        laserWasOn = on;
    });

    const int64_t resumedAt = loop.now();
    const std::string refused = engraver.jobResume().resume();
    if (!refused.empty()) {
        s.error = refused;
        return s;
    }
    const bool finished = loop.advanceUntil([&engraver] { return jobOver(engraver); }, maxJobMs);
    s.jobMs = loop.now() - resumedAt;
    s.outcome = finished ? JobOutcome::Finished : JobOutcome::StillRunning;
    if (!finished) {
        s.error =
            "the resumed job was still running after " + clockText(s.jobMs) + " of machine time";
    }
    const form::Form1& f = engraver.form();
    s.rows = static_cast<int>(std::lround(jobs::progressValue(f.pixelRow))) + 1;
    s.dotsBurned = pulses;
    s.laserPulses = pulses;
    machineFigures(s, f, sim);
    s.maxXDrift = engraver.pictureRun().maxXDrift();
    s.lastXDrift = engraver.pictureRun().lastXDrift();
    return s;
}

// --- ResumePreview ---

ResumePreview::ResumePreview(QObject* parent) : QObject(parent) {}

ResumePreview::~ResumePreview() {
    if (worker_.joinable()) worker_.join();
}

void ResumePreview::clear(const ResumeInputs& inputs) {
    if (computing_) return;
    summary_.reset();
    inputs_ = inputs;
}

void ResumePreview::start(const form::Form1& f, const machine::SimEngraver* sim,
                          const std::string& programFolder, const ResumeInputs& inputs) {
    if (computing_) return;
    struct Task {
        form::Snapshot window;
        std::unique_ptr<machine::SimEngraver> head;
        std::string journal, picture;
    };
    auto task = std::make_shared<Task>();
    if (!readFile(programFolder + "/" + jobs::kJournalFileName, task->journal) ||
        !readFile(programFolder + "/" + kPictureFileName, task->picture)) {
        auto summary = std::make_shared<JobSummary>();
        summary->error = "The job journal or picture.bmp cannot be read.";
        computing_ = inputs;
        // As a worker would report it: never from inside start().
        QMetaObject::invokeMethod(
            this, [this, inputs, summary] { done(inputs, summary); }, Qt::QueuedConnection);
        return;
    }
    task->window = f.snapshot();
    task->head = copyOfMachine(f, sim);

    computing_ = inputs;
    startComputation(
        worker_, this,
        [task] { return simulateResume(task->window, *task->head, task->journal, task->picture); },
        [this, inputs](std::shared_ptr<const JobSummary> summary) { done(inputs, summary); });
}

void ResumePreview::done(const ResumeInputs& inputs, std::shared_ptr<const JobSummary> summary) {
    if (worker_.joinable()) worker_.join();
    computing_.reset();
    summary_ = std::move(summary);
    inputs_ = inputs;
    emit finished();
}

}  // namespace ostrel::simulation
