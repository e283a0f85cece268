// Resuming an interrupted picture job from its journal: checked against the window as it is
// set up now, then homing, a laser-off travel to the dot, and the run from that dot on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "form/Context.h"
#include "jobs/JobJournal.h"
#include "jobs/PictureRun.h"

namespace ostrel::jobs {

// What a journal offers, or why it offers nothing.
struct ResumeOffer {
    std::string error;  // "" when the job can be resumed as the window is set up now
    std::string path;
    JournalHeader header;
    JournalPoint point;
    uint64_t records = 0;
    bool tornTail = false;
    int dotsLeft = 0;  // dots still to be dealt with, the two rows past the picture included
};

class JobResume {
  public:
    // The homing commands (Go Home (X) and Go Home (Y) as the buttons give them).
    JobResume(form::Context& ctx, PictureRun& run, std::function<void()> goHomeX,
              std::function<void()> goHomeY);
    JobResume(const JobResume&) = delete;
    JobResume& operator=(const JobResume&) = delete;

    // The journal in the program folder (or at `path`), checked against picture.bmp and the
    // job's settings in the window now.
    ResumeOffer check(const std::string& path = {}) const;
    // Starts the resume: the laser off, X and Y homed as Go Home does (and the start-up notice
    // waited out), a laser-off travel to the dot, then the run. "" or why it refused.
    std::string resume(const std::string& path = {});
    // Homing or travelling towards the dot.
    bool running() const;
    // The offer being resumed (or last resumed).
    const ResumeOffer& offer() const { return offer_; }
    // Ends a resume under way where it is (the interlock opened); writes nothing.
    void stop();

  private:
    enum class Stage { Idle, HomeX, HomeY, Notice, Travel };
    void tick();

    form::Context& ctx_;
    PictureRun& run_;
    std::function<void()> goHomeX_, goHomeY_;
    runtime::Timer timer_;
    Stage stage_ = Stage::Idle;
    bool homingStarted_ = false;
    uint64_t generation_ = 0;
    ResumeOffer offer_;
    std::vector<uint8_t> travel_;  // the words that bring the head from home to the dot
    size_t travelled_ = 0;
};

// The coil words that bring the head from the home switches to a journal's point: the row
// advances' Y words, then the sweep's X words, as the run wrote them.
// NOTE: the counters alone do not say where the head is: a word that finds its rotor more than
// one half-step away moves it by the shortest way (or not at all), so the head is brought
// there by the very words that brought it there, from the state homing gives.
std::vector<uint8_t> travelWords(const JournalPoint& point);

}  // namespace ostrel::jobs
