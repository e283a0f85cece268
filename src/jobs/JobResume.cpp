// Resume: refuses when picture.bmp or the job's settings differ from the journal's; otherwise
// homes, travels to the dot with the laser off and lets the picture run go on from there.
#include "jobs/JobResume.h"

#include <QImage>
#include <algorithm>

#include "machine/Registers.h"

namespace ostrel::jobs {

using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

constexpr int kPollMs = 10;  // how often the homing stages look at the axis timers

std::string modeName(bool coarse) {
    return coarse ? "Coarse-Burning" : "Precise-Burning";
}
std::string onOff(bool on) {
    return on ? "on" : "off";
}

}  // namespace

std::vector<uint8_t> travelWords(const JournalPoint& point) {
    std::vector<uint8_t> out;
    int16_t phase = point.startYPhase;
    for (int32_t i = 0; i < point.advanceTicks; ++i) {
        phase = machine::nextPhase<machine::yWavePlus.size()>(phase);
        out.push_back(machine::yWavePlus[static_cast<size_t>(phase - 1)]);
        if (phase == static_cast<int16_t>(machine::yWavePlus.size())) phase = 0;
    }
    phase = point.rowStartXPhase;
    for (int32_t i = 0; i < point.sweepTicks; ++i) {
        phase = machine::nextPhase<machine::xHalfPlus.size()>(phase);
        out.push_back(machine::xHalfPlus[static_cast<size_t>(phase - 1)]);
        if (phase == static_cast<int16_t>(machine::xHalfPlus.size())) phase = 0;
    }
    return out;
}

JobResume::JobResume(form::Context& ctx, PictureRun& run, std::function<void()> goHomeX,
                     std::function<void()> goHomeY)
    : ctx_(ctx),
      run_(run),
      goHomeX_(std::move(goHomeX)),
      goHomeY_(std::move(goHomeY)),
      timer_(ctx.loop, kPollMs, false) {
    timer_.setHandler([this] { tick(); });
}

ResumeOffer JobResume::check(const std::string& path) const {
    ResumeOffer o;
    o.path = path.empty() ? run_.journalPath() : path;
    if (o.path.empty()) {
        o.error = "There is no program folder for a job journal.";
        return o;
    }
    const JournalContents j = readJournal(o.path);
    if (!j.error.empty()) {
        o.error = j.error;
        return o;
    }
    o.header = j.header;
    o.point = j.point;
    o.records = j.records;
    o.tornTail = j.tornTail;
    const int rows = j.header.height + 2;
    o.dotsLeft = std::max(0, j.header.width * rows - static_cast<int>(j.point.dots));

    std::string error;
    const std::optional<JournalHeader> now = run_.describeJob(error);
    if (!now) {
        o.error = error + " The interrupted job cannot be resumed without it.";
        return o;
    }
    const JournalHeader& was = j.header;
    if (now->pictureHash != was.pictureHash) {
        o.error =
            "picture.bmp is not the picture of the interrupted job: it was prepared again "
            "from another picture or with other settings.";
    } else if (now->coarse != was.coarse) {
        o.error = "The interrupted job ran in " + modeName(was.coarse) + "; the window is set to " +
                  modeName(now->coarse) + ".";
    } else if (now->hologram != was.hologram) {
        o.error = "The interrupted job ran with \"Hologram-Efect\" " + onOff(was.hologram) +
                  "; it is " + onOff(now->hologram) + " now.";
    } else if (now->sensitivity != was.sensitivity) {
        o.error = "The interrupted job ran at sensitivity " + std::to_string(was.sensitivity) +
                  "; it is " + std::to_string(now->sensitivity) + " now.";
    } else if (now->width != was.width || now->height != was.height) {
        o.error = "The interrupted job's picture was " + std::to_string(was.width) + "x" +
                  std::to_string(was.height) + " pixels; it is " + std::to_string(now->width) +
                  "x" + std::to_string(now->height) + " now.";
    } else if (now->stepMs != was.stepMs) {
        o.error = "The interrupted job stepped every " + std::to_string(was.stepMs) +
                  " ms; the step period is " + std::to_string(now->stepMs) + " ms now.";
    }
    if (!o.error.empty()) return o;

    // A count past any travel the machine has, or a phase no table has, is no journal of ours.
    if (j.point.advanceTicks < 0 || j.point.advanceTicks > 4 * 300 || j.point.sweepTicks < 0 ||
        j.point.sweepTicks > 8 * 1100 || j.point.startYPhase > 8 || j.point.rowStartXPhase > 8)
        o.error = "The journal does not say where the head stood; the job cannot be resumed.";
    return o;
}

bool JobResume::running() const {
    return stage_ != Stage::Idle && generation_ == ctx_.abortGeneration;
}

std::string JobResume::resume(const std::string& path) {
    form::Form1& f = ctx_.form;
    if (running()) return "A resume is under way already.";
    if (std::string why = ctx_.interlockRefusal(); !why.empty()) return why;
    for (runtime::Timer* t :
         {&f.Timer1, &f.Timer2, &f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9}) {
        if (t->Enabled()) return "The machine is moving: stop it before resuming a job.";
    }
    ResumeOffer o = check(path);
    if (!o.error.empty()) return o.error;

    // The dots still to come read the picture as it was prepared; those already dealt with
    // keep whatever marks the window shows.
    const QImage picture(QString::fromStdString(ctx_.host.programFolder() + "/picture.bmp"));
    if (picture.width() != o.header.width || picture.height() != o.header.height)
        return "picture.bmp cannot be read as a " + std::to_string(o.header.width) + "x" +
               std::to_string(o.header.height) + " picture.";
    if (f.Picture2.ScaleWidth() != o.header.width || f.Picture2.ScaleHeight() != o.header.height)
        return "The picture preview is not the interrupted job's size.";
    const int w = o.header.width;
    const int64_t from = static_cast<int64_t>(o.point.row) * w + o.point.column;
    for (int y = 0; y < o.header.height; ++y) {
        for (int x = 0; x < w; ++x) {
            if (static_cast<int64_t>(y) * w + x < from) continue;
            const QRgb c = picture.pixel(x, y);
            f.Picture2.PSet(x, y, form::RGB(qRed(c), qGreen(c), qBlue(c)));
        }
    }

    travel_ = travelWords(o.point);
    travelled_ = 0;
    offer_ = std::move(o);
    generation_ = ctx_.abortGeneration;
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
    stage_ = Stage::HomeX;
    homingStarted_ = true;
    goHomeX_();  // at once, so that the machine is busy from the moment Resume returns
    timer_.setInterval(kPollMs);
    timer_.setEnabled(true);
    return {};
}

void JobResume::stop() {
    timer_.setEnabled(false);
    stage_ = Stage::Idle;
}

void JobResume::tick() {
    form::Form1& f = ctx_.form;
    if (generation_ != ctx_.abortGeneration) {  // Abort stopped the resume
        stop();
        return;
    }
    // A job started meanwhile (Run), or a jog once homing is done, takes the machine over.
    bool other = false;
    for (runtime::Timer* t : {&f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9})
        other = other || t->Enabled();
    if (stage_ == Stage::Notice || stage_ == Stage::Travel)
        other = other || f.Timer1.Enabled() || f.Timer2.Enabled();
    if (other) {
        stop();
        return;
    }
    switch (stage_) {
        case Stage::Idle:
            stop();
            return;
        case Stage::HomeX:
        case Stage::HomeY: {
            runtime::Timer& axis = stage_ == Stage::HomeX ? f.Timer1 : f.Timer2;
            if (!homingStarted_) {
                homingStarted_ = true;
                (stage_ == Stage::HomeX ? goHomeX_ : goHomeY_)();
                return;
            }
            if (axis.Enabled()) return;
            homingStarted_ = false;
            stage_ = stage_ == Stage::HomeX ? Stage::HomeY : Stage::Notice;
            return;
        }
        case Stage::Notice:
            // Homing restarts the watchdog, which holds the port at rest for a while.
            if (f.Timer10.Enabled()) return;
            stage_ = Stage::Travel;
            timer_.setIntervalText(f.Combo1.caption);
            [[fallthrough]];
        case Stage::Travel:
            if (travelled_ < travel_.size()) {
                ctx_.out(DATA_REG, travel_[travelled_++]);
                return;
            }
            stop();
            run_.resumeAt(offer_.point, offer_.header, offer_.path);
            return;
    }
}

}  // namespace ostrel::jobs
