// The job preview: what Run would do now, computed on a copy of the window and the machine.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "form/Form1.h"
#include "machine/SimEngraver.h"
#include "simulation/JobSimulation.h"

namespace ostrel::simulation {

// Everything a job's run depends on: when it changes, the job is computed again.
struct JobInputs {
    int kind = -1;  // -1: no job chosen, else JobKind
    uint64_t pictureRevision = 0;
    int pictureWidth = 0, pictureHeight = 0, frameWidth = 0, frameHeight = 0;
    int coarse = 0, hologram = 0;
    std::string stepPeriod;
    bool autoLaser = false, laserPulseOn = false;
    int32_t xStepCount = 0, yStepCount = 0;
    int16_t xPhase = 0, yPhase = 0;
    int64_t headX = 0, headY = 0;  // the simulator's head, half-steps (0 on a real port)
    int rotorX = 0, rotorY = 0;
    std::array<int, 6> jobTimerIntervals{};  // in the order of form::kJobTimers
    std::vector<uint16_t> materialDwellMs;   // the material profile's dwells (empty: designed)
    bool operator==(const JobInputs&) const = default;
};

// The job the option buttons choose: -1 for none, else a JobKind.
int chosenJob(const form::Form1& form);
// The inputs as they stand now; `sim` is the simulated engraver, or null for a real port.
JobInputs jobInputs(const form::Form1& form, const machine::SimEngraver* sim);
// The machine a computed job runs on: the simulator as it stands, or for a real port one whose
// head stands where the step counters say (its rotors, where the last moves left them, are not
// known).
std::unique_ptr<machine::SimEngraver> copyOfMachine(const form::Form1& form,
                                                    const machine::SimEngraver* sim);
// Runs `compute` on `worker` (joined first if it ran before), a thread that leaves the ending
// signals to the caller's and has a signal stack of its own; `deliver` gets the result on
// `receiver`'s thread.
void startComputation(std::thread& worker, QObject* receiver, std::function<JobSummary()> compute,
                      std::function<void(std::shared_ptr<const JobSummary>)> deliver);
// The settings the operator makes for a job (not where the head stands) are the same in both.
bool sameSetUp(const JobInputs& a, const JobInputs& b);

// Computes one job at a time in a worker thread, so that a long job never stalls the caller.
// The copy of the window and the machine is made on the caller's thread, in start(); it shares
// nothing with the live core. The result arrives on the thread this object lives in.
class JobPreview final : public QObject {
    Q_OBJECT
  public:
    explicit JobPreview(QObject* parent = nullptr);
    // NOTE: waits for a computation under way: the worker reports to this object.
    ~JobPreview() override;

    // Starts computing the job `inputs` describe (inputs.kind >= 0) from `form` and the
    // machine: the simulator as it stands, or for a real port (`sim` null) one whose head
    // stands where the step counters say. Does nothing while a job is being computed.
    void start(const form::Form1& form, const machine::SimEngraver* sim, const JobInputs& inputs);
    // No job chosen: the result is none, for these inputs.
    void clear(const JobInputs& inputs);

    bool computing() const { return computing_.has_value(); }
    const std::optional<JobInputs>& computingInputs() const { return computing_; }
    // The last result (null when none or no job) and the inputs it was computed from.
    const std::shared_ptr<const JobSummary>& summary() const { return summary_; }
    const std::optional<JobInputs>& inputs() const { return inputs_; }
    // Whether there is a result and it was computed from exactly these inputs.
    bool holdsFor(const JobInputs& in) const { return summary_ && inputs_ && *inputs_ == in; }

  signals:
    // A computation ended; summary() and inputs() hold its result.
    void finished();

  private:
    struct Task;
    void done(const JobInputs& inputs, std::shared_ptr<const JobSummary> summary);

    std::shared_ptr<const JobSummary> summary_;
    std::optional<JobInputs> inputs_;
    std::optional<JobInputs> computing_;
    std::thread worker_;
};

}  // namespace ostrel::simulation
