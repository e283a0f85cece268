// The job preview: a copy of the window and the machine, run to the job's end in a worker thread.
#include "simulation/JobPreview.h"

#include "machine/Registers.h"
#include "runtime/ThreadSignals.h"

namespace ostrel::simulation {

int chosenJob(const form::Form1& f) {
    return f.Option1.value   ? static_cast<int>(JobKind::Picture)
           : f.Option2.value ? static_cast<int>(JobKind::Frame)
                             : -1;
}

JobInputs jobInputs(const form::Form1& f, const machine::SimEngraver* sim) {
    JobInputs in;
    in.kind = chosenJob(f);
    in.pictureRevision = f.Picture2.revision;
    in.materialDwellMs = f.materialDwellMs;
    in.pictureWidth = f.Picture2.ScaleWidth();
    in.pictureHeight = f.Picture2.ScaleHeight();
    in.frameWidth = f.Picture3.ScaleWidth();
    in.frameHeight = f.Picture3.ScaleHeight();
    in.coarse = f.Check1.value;
    in.hologram = f.Check2.value;
    in.stepPeriod = f.Combo1.caption;
    in.autoLaser = f.autoLaser;
    in.laserPulseOn = f.laserPulseOn;
    in.xStepCount = f.xStepCount;
    in.yStepCount = f.yStepCount;
    in.xPhase = f.xPhase;
    in.yPhase = f.yPhase;
    if (sim) {
        in.headX = sim->x();
        in.headY = sim->y();
        in.rotorX = sim->rotorX();
        in.rotorY = sim->rotorY();
    }
    for (size_t i = 0; i < in.jobTimerIntervals.size(); ++i) {
        in.jobTimerIntervals[i] = (f.*form::kJobTimers[i]).Interval();
    }
    return in;
}

std::unique_ptr<machine::SimEngraver> copyOfMachine(const form::Form1& f,
                                                    const machine::SimEngraver* sim) {
    machine::SimConfig config = sim ? sim->config() : machine::SimConfig{};
    config.headX = sim ? sim->x() / 2.0 : f.xStepCount;
    config.headY = sim ? sim->y() / 2.0 : f.yStepCount;
    config.rotorX = sim ? sim->rotorX() : 0;
    config.rotorY = sim ? sim->rotorY() : 0;
    config.data = sim ? sim->data() : machine::kRestData;
    config.control = sim ? sim->control() : machine::kRestControl;
    return std::make_unique<machine::SimEngraver>(config, [] { return 0.0; });
}

void startComputation(std::thread& worker, QObject* receiver, std::function<JobSummary()> compute,
                      std::function<void(std::shared_ptr<const JobSummary>)> deliver) {
    if (worker.joinable()) worker.join();
    // NOTE: the worker leaves the signals that end the program to the window's thread, and has
    // a signal stack of its own for the crash handlers.
    const runtime::EndingSignalsBlocked blocked;
    worker = std::thread([receiver, compute = std::move(compute), deliver = std::move(deliver)] {
        const runtime::ThreadSignalStack signalStack;
        auto summary = std::make_shared<const JobSummary>(compute());
        QMetaObject::invokeMethod(
            receiver, [deliver, summary] { deliver(summary); }, Qt::QueuedConnection);
    });
}

bool sameSetUp(const JobInputs& a, const JobInputs& b) {
    return a.kind == b.kind && a.pictureWidth == b.pictureWidth &&
           a.pictureHeight == b.pictureHeight && a.frameWidth == b.frameWidth &&
           a.frameHeight == b.frameHeight && a.coarse == b.coarse && a.hologram == b.hologram &&
           a.stepPeriod == b.stepPeriod && a.autoLaser == b.autoLaser &&
           a.materialDwellMs == b.materialDwellMs;
}

// A copy of the window and the machine that the worker runs the job on.
struct JobPreview::Task {
    form::Snapshot window;
    std::unique_ptr<machine::SimEngraver> head;
    JobKind kind = JobKind::Picture;
};

JobPreview::JobPreview(QObject* parent) : QObject(parent) {}

JobPreview::~JobPreview() {
    if (worker_.joinable()) worker_.join();
}

void JobPreview::clear(const JobInputs& inputs) {
    if (computing_) return;
    summary_.reset();
    inputs_ = inputs;
}

void JobPreview::start(const form::Form1& f, const machine::SimEngraver* sim,
                       const JobInputs& inputs) {
    if (computing_ || inputs.kind < 0) return;
    auto task = std::make_shared<Task>();
    task->kind = static_cast<JobKind>(inputs.kind);
    // The copy: every control (values, captions, rasters), the timers and the window
    // variables, as Run would find them.
    task->window = f.snapshot();

    task->head = copyOfMachine(f, sim);

    computing_ = inputs;
    startComputation(
        worker_, this, [task] { return simulateFrom(task->window, *task->head, task->kind); },
        [this, inputs](std::shared_ptr<const JobSummary> summary) { done(inputs, summary); });
}

void JobPreview::done(const JobInputs& inputs, std::shared_ptr<const JobSummary> summary) {
    if (worker_.joinable()) worker_.join();
    computing_.reset();
    summary_ = std::move(summary);
    inputs_ = inputs;
    emit finished();
}

}  // namespace ostrel::simulation
