// The picture engraving run: burns Picture2 dot by dot, row after row, left to right.
//
//   State       Timer   Event at a tick                          Next
//   Sweeping    Timer4  dot to burn (every 16th half-step)       Pulse wait
//                       pixelColumn > W - 1                      Advancing
//                       xStepCount not below 1050                Stopped
//   Pulse wait  Timer5  first tick: laser on                     Pulse on
//   Pulse on    Timer5  second tick: laser off                   Sweeping
//   Advancing   Timer6  second Y step of the advance             Returning
//                       pixelRow > H                             Finished
//                       yStepCount not below 270                 Stopped
//   Returning   Timer7  X home switch closed                     Sweeping (column 0)
//   any         any     Abort (command panel)                    Idle
//
// At most one of Timer4 ... Timer7 is enabled: a tick disables its own timer before it enables
// the next. Rows 0 to H + 1 are swept: the two rows past the picture read as level 255.
#include "jobs/PictureRun.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "jobs/Dwell.h"
#include "machine/Registers.h"

namespace ostrel::jobs {

using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

constexpr int32_t kXLimitSteps = 1050;  // the sweep makes no step from here on
constexpr int32_t kYLimitSteps = 270;   // the row advance makes no step from here on
constexpr int16_t kCyclesPerDot = 2;    // one dot per two 8-pattern X cycles
// Coarse-Burning burns only the burn marker's levels (100-102), always for the same time.
constexpr int kCoarseDwellMs = 65;
constexpr int kCoarsePulseMs = 100;
constexpr form::Colour kCoarseMark = form::RGB(180, 0, 0);
// Precise-Burning marks every dot with the dwell added to this grey.
constexpr form::Colour kPreciseMarkBase = form::RGB(50, 50, 50);
constexpr int kMaxMarkDwell = 255 - 50;
// The shortest pulse a dot gets: "Hologram-Efect" gives no time or less to the top rows of a
// picture of 100 rows or more.
constexpr int kShortestPulseMs = 1;

}  // namespace

double progressValue(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return 0;
    return value;
}

std::string progressText(double value) {
    char buf[32];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

PictureRun::PictureRun(form::Context& ctx) : ctx_(ctx), clock_(ctx.loop) {
    ctx_.form.Timer4.setHandler([this] { Timer4Tick(); });
    ctx_.form.Timer5.setHandler([this] { Timer5Tick(); });
    ctx_.form.Timer6.setHandler([this] { Timer6Tick(); });
    ctx_.form.Timer7.setHandler([this] { Timer7Tick(); });
    // NOTE: the journal is synced from here, not by a timer of its own, so that journalling
    // adds no dispatch to the run's schedule; something is dispatched at least every step
    // period while a run runs.
    syncHook_ = ctx_.loop.addAfterDispatch([this] {
        if (journal_.syncDue(ctx_.loop.nowMs())) journal_.syncSoon(ctx_.loop.nowMs());
    });
}

PictureRun::~PictureRun() {
    ctx_.loop.removeAfterDispatch(syncHook_);
}

void PictureRun::registerEvents(form::EventTable&) {}

void PictureRun::start() {
    form::Form1& f = ctx_.form;
    f.pixelColumn = "0";
    f.pixelRow = "0";
    f.dotCycle = 0;
    f.xPhase = 0;
    lastXDrift_ = 0;
    maxXDrift_ = 0;
    dots_ = 0;
    startYPhase_ = f.yPhase;
    rowStartXPhase_ = 0;
    advanceTicks_ = sweepTicks_ = 0;
    clock_.reset();
    f.Timer4.setEnabled(true);
    clock_.started(f.Timer4);
    journal_.close();
    if (!journalling_ || ctx_.host.programFolder().empty()) return;
    std::string error;
    // NOTE: a job whose journal cannot be written still runs, as it always did; it only
    // cannot be resumed.
    if (const std::optional<JournalHeader> header = describeJob(error)) {
        // The first record is the start: a job cut before its first dot resumes from there.
        if (journal_.create(journalPath(), *header, ctx_.loop.nowMs()).empty()) {
            record(0);
            journal_.sync();
        }
    }
}

std::string PictureRun::journalPath() const {
    const std::string folder = ctx_.host.programFolder();
    return folder.empty() ? std::string() : folder + "/" + kJournalFileName;
}

std::optional<JournalHeader> PictureRun::describeJob(std::string& error) const {
    const form::Form1& f = ctx_.form;
    const std::string folder = ctx_.host.programFolder();
    const std::optional<PictureHash> hash = hashPicture(folder + "/picture.bmp");
    if (!hash) {
        error = "picture.bmp cannot be read in " + folder + ".";
        return std::nullopt;
    }
    JournalHeader h;
    h.pictureHash = *hash;
    h.coarse = f.Check1.value == 1;
    h.hologram = f.Check2.value == 1;
    h.sensitivity = f.HScroll3.value;
    h.width = f.Picture2.ScaleWidth();
    h.height = f.Picture2.ScaleHeight();
    h.stepMs = runtime::parseIntervalText(f.Combo1.caption);
    return h;
}

void PictureRun::record(int owedMs) {
    if (!journal_.isOpen()) return;
    const form::Form1& f = ctx_.form;
    JournalPoint p;
    p.column = static_cast<int32_t>(std::lround(progressValue(f.pixelColumn)));
    p.row = static_cast<int32_t>(std::lround(progressValue(f.pixelRow)));
    p.xSteps = f.xStepCount;
    p.ySteps = f.yStepCount;
    p.xPhase = f.xPhase;
    p.yPhase = f.yPhase;
    p.dotCycle = f.dotCycle;
    p.xWord = ctx_.lastXWord;
    p.yWord = ctx_.lastYWord;
    p.owedMs = owedMs;
    p.dots = dots_;
    p.startYPhase = static_cast<uint8_t>(startYPhase_);
    p.rowStartXPhase = static_cast<uint8_t>(rowStartXPhase_);
    p.advanceTicks = advanceTicks_;
    p.sweepTicks = sweepTicks_;
    journal_.append(p, ctx_.loop.nowMs());
}

void PictureRun::ended() {
    journal_.finish();
}

void PictureRun::resumeAt(const JournalPoint& point, const JournalHeader& header,
                          const std::string& path) {
    form::Form1& f = ctx_.form;
    f.pixelColumn = std::to_string(point.column);
    f.pixelRow = std::to_string(point.row);
    f.dotCycle = point.dotCycle;
    f.xPhase = point.xPhase;
    f.yPhase = point.yPhase;
    f.xStepCount = point.xSteps;
    f.yStepCount = point.ySteps;
    f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
    f.Label1[1].caption = form::Form1::counterText(f.yStepCount);
    dots_ = point.dots;
    startYPhase_ = point.startYPhase;
    rowStartXPhase_ = point.rowStartXPhase;
    advanceTicks_ = point.advanceTicks;
    sweepTicks_ = point.sweepTicks;
    clock_.reset();
    journal_.close();
    if (journalling_ && !path.empty() && journal_.create(path, header, ctx_.loop.nowMs()).empty()) {
        journal_.append(point, ctx_.loop.nowMs());
        journal_.sync();
    }
    if (point.owedMs > 0) {
        // The dot was under way: what it still needs, as a pulse of its own.
        f.Timer4.setEnabled(true);
        startPulse(point.owedMs, ctx_.abortGeneration);
    } else {
        f.Timer4.setEnabled(true);
        clock_.started(f.Timer4);
    }
}

void PictureRun::noteAbort() {
    if (!journal_.isOpen()) return;
    form::Form1& f = ctx_.form;
    if (f.Timer5.Enabled()) {
        const FrozenRun frozen = clock_.freeze({&f.Timer5}, ctx_.data);
        record(frozen.laserOn ? frozen.remainingMs : frozen.intervalMs);
    }
    journal_.close();
}

FrozenRun PictureRun::freeze() {
    form::Form1& f = ctx_.form;
    frozen_ = clock_.freeze({&f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7}, ctx_.data);
    return frozen_;
}

void PictureRun::thaw(const FrozenRun& frozen) {
    clock_.thaw(frozen);
}

void PictureRun::paused() {
    // A dot under way owes the rest of its pulse (all of it before the laser went on).
    if (frozen_.timer == &ctx_.form.Timer5)
        record(frozen_.laserOn ? frozen_.remainingMs : frozen_.intervalMs);
    journal_.sync();
}

void PictureRun::Laser(uint8_t word) {
    ctx_.out(CONTROL_REG, word);
    clock_.laser(word == machine::LASER_ON);
}

// --- Hand-over and event pumping ---

// `generation` is the abort generation at the start of the tick. A tick hands over only if
// no Abort (or Exit) has been handled since, so that Abort leaves every timer off.
void PictureRun::handOver(runtime::Timer& from, runtime::Timer& to, uint64_t generation) {
    from.setEnabled(false);
    if (ctx_.abortGeneration == generation) {
        to.setEnabled(true);
        clock_.started(to);
    }
}

// Lets the window handle pending events (Abort above all) at the end of a tick that wrote a
// coil word or switched the laser.
// NOTE: it must stay the last thing such a tick does. Abort may run in here; whatever a tick
// did afterwards would run after Abort had stopped the run and put the port at rest.
void PictureRun::letEventsRun() {
    ctx_.loop.doEvents();
}

// --- X sweep ---

void PictureRun::Timer4Tick() {
    form::Form1& f = ctx_.form;
    const uint64_t generation = ctx_.abortGeneration;
    clock_.begins(f.Timer4);
    f.Timer4.setIntervalText(f.Combo1.caption);
    const int lastColumn = f.Picture2.ScaleWidth() - 1;
    const int pictureHeight = f.Picture2.ScaleHeight();

    if (progressValue(f.pixelColumn) > lastColumn) {  // end of row
        f.xPhase = 0;
        handOver(f.Timer4, f.Timer6, generation);
        ctx_.out(DATA_REG, machine::COILS_OFF);
        return;
    }
    if (f.xStepCount >= kXLimitSteps) {  // X travel limit: the run stops for good
        f.Timer4.setEnabled(false);
        ctx_.out(DATA_REG, machine::COILS_OFF);
        ended();
        return;
    }

    // One half-step in +X; the even patterns complete a full step.
    ++sweepTicks_;
    f.xPhase = machine::nextPhase<machine::xHalfPlus.size()>(f.xPhase);
    ctx_.out(DATA_REG, machine::xHalfPlus[static_cast<size_t>(f.xPhase - 1)]);
    if (f.xPhase % 2 == 0) ++f.xStepCount;
    if (f.xPhase == static_cast<int16_t>(machine::xHalfPlus.size())) {
        f.xPhase = 0;
        f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
        ++f.dotCycle;
        if (f.dotCycle == kCyclesPerDot) dealWithDot(pictureHeight, generation);
    }
    letEventsRun();
}

void PictureRun::dealWithDot(int pictureHeight, uint64_t generation) {
    form::Form1& f = ctx_.form;
    const double column = progressValue(f.pixelColumn);
    const double row = progressValue(f.pixelRow);
    const int x = static_cast<int>(std::lround(column));
    const int y = static_cast<int>(std::lround(row));
    // Outside the picture (the two rows past it) a pixel reads as -1: level 255.
    const int level = f.Picture2.Point(x, y) & 255;
    const int designedDwell = kDwellMs[static_cast<size_t>(level)];
    f.dotCycle = 0;
    int pulse = 0;  // no pulse: the sweep goes on

    if (f.Check1.value == 1) {  // Coarse-Burning: the burn marker only
        if (designedDwell == kCoarseDwellMs) {
            f.Picture2.PSet(x, y, kCoarseMark);
            const int hologram =
                f.Check2.value == 1 ? kCoarsePulseMs - (pictureHeight - y) : kCoarsePulseMs;
            pulse = std::max(kShortestPulseMs, hologram);
        }
    } else {  // Precise-Burning: every dot for its level's dwell in the material's table
        const int dwell = f.materialDwellMs.size() == kDwellMs.size()
                              ? f.materialDwellMs[static_cast<size_t>(level)]
                              : designedDwell;
        // A dot above the material's white cut-off takes no time: the sweep goes on, as past
        // a coarse non-marker.
        if (dwell > 0) {
            // NOTE: the mark's red byte is 50 + dwell; capped so a long dwell never spills
            // into the green byte.
            f.Picture2.PSet(x, y, kPreciseMarkBase + std::min(dwell, kMaxMarkDwell));
            pulse = dwell;
        }
    }
    // NOTE: the dot is counted before its pulse writes anything: a write that fails there
    // records the dot (owing its whole pulse) as the one dealt with.
    f.pixelColumn = progressText(column + 1);
    ++dots_;
    if (pulse > 0) startPulse(pulse, generation);
    // The dot is dealt with once its pulse ends; until then it owes the whole pulse.
    record(f.Timer5.Enabled() ? pulseMs_ : 0);
}

// Hands the dot to Timer5: one period with the motors unpowered and the laser off, then one
// period with the laser on.
void PictureRun::startPulse(int periodMs, uint64_t generation) {
    form::Form1& f = ctx_.form;
    pulseMs_ = periodMs;
    f.Timer5.setInterval(periodMs);
    // NOTE: a pulse starts from its laser-off half, whatever an Abort during an earlier pulse
    // or the pulsed laser mode left in laserPulseOn; otherwise its first tick would switch the
    // laser off and the dot would get no laser at all.
    f.laserPulseOn = false;
    handOver(f.Timer4, f.Timer5, generation);
    ctx_.out(DATA_REG, machine::COILS_OFF);
}

// --- Dot pulse ---

void PictureRun::Timer5Tick() {
    form::Form1& f = ctx_.form;
    const uint64_t generation = ctx_.abortGeneration;
    clock_.begins(f.Timer5);
    if (!f.laserPulseOn) {
        Laser(machine::LASER_ON);
        f.laserPulseOn = true;
    } else {
        // NOTE: the dot is recorded as done before the laser-off is written: the pulse has had
        // its time, and a failing write must not have it burned again in full on a resume.
        handOver(f.Timer5, f.Timer4, generation);
        record(0);
        Laser(machine::LASER_OFF);
        f.laserPulseOn = false;
    }
    letEventsRun();
}

// --- Row advance ---

void PictureRun::Timer6Tick() {
    form::Form1& f = ctx_.form;
    const uint64_t generation = ctx_.abortGeneration;
    clock_.begins(f.Timer6);
    f.Timer6.setIntervalText(f.Combo1.caption);
    const int pictureHeight = f.Picture2.ScaleHeight();
    const double row = progressValue(f.pixelRow);

    if (row > pictureHeight) {  // run complete
        f.Timer6.setEnabled(false);
        ctx_.out(DATA_REG, machine::COILS_OFF);
        ended();
        return;
    }
    if (f.yStepCount >= kYLimitSteps) {  // Y travel limit: the run stops for good
        f.Timer6.setEnabled(false);
        ctx_.out(DATA_REG, machine::COILS_OFF);
        ended();
        return;
    }

    // One full step in +Y; every second pattern completes the advance of a row.
    ++advanceTicks_;
    f.yPhase = machine::nextPhase<machine::yWavePlus.size()>(f.yPhase);
    ctx_.out(DATA_REG, machine::yWavePlus[static_cast<size_t>(f.yPhase - 1)]);
    ++f.yStepCount;
    f.Label1[1].caption = form::Form1::counterText(f.yStepCount);
    if (f.yPhase % 2 == 0) {
        if (f.yPhase == static_cast<int16_t>(machine::yWavePlus.size())) f.yPhase = 0;
        f.pixelRow = progressText(row + 1);
        handOver(f.Timer6, f.Timer7, generation);
    }
    letEventsRun();
}

// --- X return ---

void PictureRun::Timer7Tick() {
    form::Form1& f = ctx_.form;
    const uint64_t generation = ctx_.abortGeneration;
    clock_.begins(f.Timer7);
    f.Timer7.setIntervalText(f.Combo1.caption);

    // The switch is tested before every step: a head already home makes no step. xPhase keeps
    // its value (0-3); the next sweep goes on from there.
    if (machine::xHomeTest(ctx_.port)) {
        ctx_.out(DATA_REG, machine::COILS_OFF);
        lastXDrift_ = f.xStepCount;
        if (std::abs(lastXDrift_) > std::abs(maxXDrift_)) maxXDrift_ = lastXDrift_;
        f.xStepCount = 0;
        f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
        handOver(f.Timer7, f.Timer4, generation);
        f.pixelColumn = "0";
        rowStartXPhase_ = f.xPhase;
        sweepTicks_ = 0;
        return;
    }

    // One full step in -X, single coil.
    f.xPhase = machine::nextPhase<machine::xWaveMinus.size()>(f.xPhase);
    ctx_.out(DATA_REG, machine::xWaveMinus[static_cast<size_t>(f.xPhase - 1)]);
    --f.xStepCount;
    f.Label1[0].caption = form::Form1::counterText(f.xStepCount);
    if (f.xPhase == static_cast<int16_t>(machine::xWaveMinus.size())) f.xPhase = 0;
    letEventsRun();
}

}  // namespace ostrel::jobs
