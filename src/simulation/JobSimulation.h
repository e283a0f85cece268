// A whole job run headless in virtual time on the simulated engraver: `ostrel simulate` and the
// Machine window's preview.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "form/Snapshot.h"
#include "jobs/JobResume.h"
#include "machine/SimEngraver.h"
#include "picture/PictureSettings.h"

namespace ostrel::simulation {

enum class JobKind { Picture, Frame };

// The largest raster the size sliders give, in pixels (HScroll1/2 1935 and VScroll1/2 1575
// twips), and the smallest (255 twips).
inline constexpr int kLargestRasterWidth = 127;
inline constexpr int kLargestRasterHeight = 103;
inline constexpr int kSmallestRaster = 15;
// Machine time a job may take before the simulation gives up on it: a day.
inline constexpr int64_t kMaxJobMs = 24LL * 3600 * 1000;

// What an operator sets up before pressing Run, and the machine it runs on.
struct JobSpec {
    JobKind kind = JobKind::Picture;
    std::string picturePath;  // the file Load opens (picture jobs)
    bool coarse = true;       // Check1: Coarse-Burning (1) or Precise-Burning (0)
    int sensitivity = 100;    // HScroll3, 0-254
    bool hologram = false;    // Check2 "Hologram-Efect"
    // Material profile, tone adjustments and burn mask (picture jobs); the default is the
    // designed job.
    picture::PictureSettings pictureSettings;
    // The raster in pixels: Picture2 for a picture, Picture3 (the frame) for a frame.
    int width = kLargestRasterWidth, height = kLargestRasterHeight;
    std::string stepMs = "10";  // Combo1's text
    bool autoLaser = false;     // "Auto On" before Run: the frame cutter burns its outline
    // The simulated engraver at power-on: head position (full steps), rotors, stops, noise.
    machine::SimConfig machine;
    // For the burn picture: one Y full step is this many X full steps long. A picture pixel is
    // 8 X full steps wide and 2 Y full steps high, so 4 gives square dots.
    int yStepScale = 4;
    std::string tracePath;      // every port write as CSV; "" for none
    std::string programFolder;  // where Load writes "picture.bmp"; "" for a temporary folder
    int64_t maxJobMs = kMaxJobMs;
    // A picture job only: instead of Run, resume the interrupted job of this journal (set up
    // with the interrupted job's options). The file is read, never written: the resume runs on
    // a copy of it.
    std::string resumeJournal;
};

enum class JobOutcome {
    Finished,      // every job timer went off
    StillRunning,  // the job was still running after maxJobMs of machine time
    Unusable,      // the job could not be set up or started (see JobSummary::error)
};

struct JobSummary {
    JobOutcome outcome = JobOutcome::Unusable;
    std::string error;  // for the operator, when the outcome is not Finished
    JobKind kind = JobKind::Picture;
    int width = 0, height = 0;  // the raster the job ran over
    // Machine time from Run to the moment every job timer (Timer4 ... Timer9) is off.
    int64_t jobMs = 0;
    int rows = 0;             // picture rows swept (the two past the picture included)
    int64_t dotsDealt = 0;    // picture dots looked at, burned or not
    int64_t dotsBurned = 0;   // picture dots that got a laser pulse
    int64_t laserPulses = 0;  // times the laser went on
    double laserOnMs = 0;     // total laser-on time
    // From the simulated engraver: half-steps lost against a mechanical stop, words that
    // pulled a rotor from the opposite angle, words that drove both motors or a Y pair.
    uint64_t lostSteps = 0, stalls = 0, wiringFaults = 0;
    int32_t xStepCount = 0, yStepCount = 0;  // the step counters at the end
    double headX = 0, headY = 0;             // the true head position at the end, full steps
    // X drift of the picture run (see PictureRun::maxXDrift), full steps.
    int maxXDrift = 0, lastXDrift = 0;
    std::vector<machine::Exposure> exposures;  // the laser's work, for the burn picture
    int yStepScale = 4;
    int traceError = 0;  // errno of the first write to the trace file that failed, or 0
    // What a resume took up (JobSpec::resumeJournal): the journal as named there, the point it
    // went on from and the dots still to go then. Its path is "" when nothing was resumed.
    jobs::ResumeOffer resumed;
};

// Powers up a fresh core on its own virtual loop and simulated engraver, and runs the job as an
// operator would, through the window's events: Go Home (X), then Go Home (Y), each until its
// axis stops, then until the start-up notice is gone; the size sliders, mode, sensitivity,
// "Hologram-Efect" and the speed; Load with the picture; the job's option; for Auto, Manual,
// "Auto", Manual again; then Run, until every job timer is off. With a journal to resume, Resume
// instead of Run (homing, the laser-off travel, the run from the journal's dot); a journal that
// does not fit the job is refused as Unusable with the check's reason, and nothing moves.
JobSummary simulateJob(const JobSpec& spec);
// Why a spec cannot be run (a size, sensitivity, step period, Y step scale, rotor angle or head
// position out of range, a picture that is missing or empty, a journal to resume that is missing,
// not a regular file, or given for a frame job), or "" when it can. The one place these ranges are
// checked: simulateJob refuses with it, and `ostrel simulate` before it starts anything.
std::string checkSpec(const JobSpec& spec);

// Runs Run on a snapshot of a window (Form1::snapshot()) and a copy of its machine: the head's
// position, rotors, registers and stops. Nothing is homed; every timer starts off (so a
// watchdog or a pulsed laser running in the original does not run in the copy). `kind`
// selects the job's option.
JobSummary simulateFrom(const form::Snapshot& window, const machine::SimEngraver& head,
                        JobKind kind, int64_t maxJobMs = kMaxJobMs);

// A duration as h:mm:ss (whole seconds, rounded down).
std::string clockText(int64_t ms);
// The figures the machine gives a summary: exposures and laser-on time, lost steps, stalls,
// wiring faults, the counters and where the head stands.
void machineFigures(JobSummary& summary, const form::Form1& form, const machine::SimEngraver& sim);

}  // namespace ostrel::simulation
