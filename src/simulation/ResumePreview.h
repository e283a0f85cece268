// The resume preview: what Resume would do now, run to the job's end on a copy of the window,
// the machine, the journal and picture.bmp.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "form/Form1.h"
#include "machine/SimEngraver.h"
#include "simulation/JobPreview.h"
#include "simulation/JobSimulation.h"

namespace ostrel::simulation {

// Everything a resume depends on: the window and the machine as a job depends on them, and
// the two files in the program folder (size and modification time, nanoseconds).
struct ResumeInputs {
    JobInputs job;
    bool journalExists = false;
    int64_t journalSize = 0, journalModified = 0;
    int64_t pictureSize = 0, pictureModified = 0;
    bool operator==(const ResumeInputs&) const = default;
};

// The inputs as they stand now; `sim` is the simulated engraver, or null for a real port.
ResumeInputs resumeInputs(const form::Form1& form, const machine::SimEngraver* sim,
                          const std::string& programFolder);

// Starts Resume on a copy of a window and its machine, with `journal` and `picture` (the bytes
// of the journal and of picture.bmp) in a temporary program folder of its own, and runs it
// until the job is over: homing, the travel to the dot and the rest of the run. jobMs is the
// machine time from Resume to the end; the exposures are those of the resumed part only.
// Resume's refusal comes back as an Unusable outcome with its reason.
// NOTE: the copy journals into its own folder; the real journal is never written.
JobSummary simulateResume(const form::Snapshot& window, const machine::SimEngraver& head,
                          const std::string& journal, const std::string& picture,
                          int64_t maxJobMs = kMaxJobMs);

// Computes one resume at a time in a worker thread, as JobPreview does for Run. The copy of
// the window, the machine and the two files is made on the caller's thread, in start().
class ResumePreview final : public QObject {
    Q_OBJECT
  public:
    explicit ResumePreview(QObject* parent = nullptr);
    // NOTE: waits for a computation under way: the worker reports to this object.
    ~ResumePreview() override;

    // Starts computing a resume from the journal in `programFolder` for `inputs`; does
    // nothing while one is being computed. A journal or picture that cannot be read gives an
    // Unusable result at once.
    void start(const form::Form1& form, const machine::SimEngraver* sim,
               const std::string& programFolder, const ResumeInputs& inputs);
    // No resume to compute: the result is none, for these inputs.
    void clear(const ResumeInputs& inputs);

    bool computing() const { return computing_.has_value(); }
    const std::shared_ptr<const JobSummary>& summary() const { return summary_; }
    const std::optional<ResumeInputs>& inputs() const { return inputs_; }
    bool holdsFor(const ResumeInputs& in) const { return summary_ && inputs_ && *inputs_ == in; }

  signals:
    void finished();

  private:
    void done(const ResumeInputs& inputs, std::shared_ptr<const JobSummary> summary);

    std::shared_ptr<const JobSummary> summary_;
    std::optional<ResumeInputs> inputs_;
    std::optional<ResumeInputs> computing_;
    std::thread worker_;
};

}  // namespace ostrel::simulation
