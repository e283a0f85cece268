// A seeded random operator works the whole core for hours of virtual time; the invariants hold.
//
// The operator clicks every panel button, Go Home, the laser buttons, options and check boxes,
// jogs and sometimes loses the release, loads good and bad pictures or cancels, runs, aborts,
// edits the speed boxes with good and bad texts and opens the help menu. Actions are posted
// into the loop, so that some of them land inside a handler that lets events run, as a real
// click would. After every dispatched event and every action the soak checks:
//
//   invariant        | holds
//   -----------------+---------------------------------------------------------------------
//   one axis a word  | no data word drives both motors or both inputs of a Y pair
//   one run timer    | at most one of Timer4 ... Timer7 is enabled
//   laser justified  | laser on => Timer3 runs, or Command4 reads "Max Laser Power On", or a
//                    | jog is held, or a frame run runs, or Timer5 is in its on half, or the
//                    | watchdog runs (its next tick puts the port at rest)
//   Abort, Exit      | from then until the next action: every timer off, data 0, control 202
//   job end          | data 0 once the last job timer goes off, unless an axis timer still runs
//   counters         | 2 x step counter follows the true head (half-steps) within one half-step
//                    | between words that each moved the rotor exactly one table step
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <random>
#include <sstream>

#include "machine/Registers.h"
#include "picture/PictureTestFiles.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;

#if defined(__SANITIZE_ADDRESS__)
constexpr int64_t kSoakHours = 2;  // the sanitizers make every dispatch several times dearer
#else
constexpr int64_t kSoakHours = 10;
#endif
constexpr int64_t kHourMs = 3600 * 1000;

// The number of half-steps a rotor turned for a word: -3 ... 3, or 4 for a stall.
int rotorTurn(int before, int after) {
    const int diff = ((after - before) % 8 + 8) % 8;
    return diff > 4 ? diff - 8 : diff;
}

bool singleCoil(int angle) {
    return angle % 2 == 0;
}

// Sits between the core and the simulated engraver and judges every data word.
class WatchPort final : public machine::Port {
  public:
    explicit WatchPort(machine::SimEngraver& sim) : sim_(sim) {}

    void out(uint16_t address, uint8_t value) override {
        note("out," + std::to_string(address) + "," + std::to_string(value));
        if (address != DATA_REG) {
            sim_.out(address, value);
            return;
        }
        if ((value & 0x0F) != 0 && (value & 0xF0) != 0) {
            violations.push_back("word " + std::to_string(value) + " drives both motors");
        }
        const int xBefore = sim_.rotorX(), yBefore = sim_.rotorY();
        const uint64_t stalls = sim_.stalls(), lost = sim_.lostSteps();
        sim_.out(address, value);
        const bool slipped = sim_.stalls() != stalls || sim_.lostSteps() != lost;
        judge(machine::SimEngraver::xAngleOf(value), xBefore, sim_.rotorX(), slipped, x);
        judge(machine::SimEngraver::yAngleOf(value), yBefore, sim_.rotorY(), slipped, y);
    }
    uint8_t inp(uint16_t address) override { return sim_.inp(address); }
    std::string describe() const override { return "watched " + sim_.describe(); }

    struct Axis {
        int lastAngle = -1;      // the angle of the last word that drove this motor
        int lastTurn = 0;        // the way the last word turned it: -1, 1, or 0 for unknown
        bool irregular = false;  // a word since the last look moved it other than one step
    };
    Axis x, y;
    std::vector<std::string> violations;
    // The last writes and actions, for the report of a violation.
    std::deque<std::string> history;
    void note(std::string what) {
        history.push_back(std::move(what));
        if (history.size() > 24) history.pop_front();
    }

  private:
    // A full-step table turns the rotor two half-steps from one single coil to the next; the
    // half-step tables one half-step a word. Anything else (a move that starts out of phase, a
    // change of table, a stall, a stop) leaves the counter and the head apart.
    static void judge(int angle, int before, int after, bool slipped, Axis& axis) {
        if (angle < 0) return;
        const bool fullStep =
            singleCoil(angle) && axis.lastAngle >= 0 && singleCoil(axis.lastAngle);
        const int turn = rotorTurn(before, after);
        const int way = turn > 0 ? 1 : turn < 0 ? -1 : 0;
        // A turn against the last one may be a reversal the counter knows of, or a move that
        // started out of phase and went the wrong way: either way a new stretch begins.
        if (slipped || std::abs(turn) != (fullStep ? 2 : 1) || way != axis.lastTurn) {
            axis.irregular = true;
        }
        axis.lastAngle = angle;
        axis.lastTurn = way;
    }

    machine::SimEngraver& sim_;
};

// One run of the program: a loop, a platform and a core; Exit ends it and the soak starts the
// next on the same machine.
struct Session {
    Session(machine::Port& port, const std::string& folder) {
        host.folder = folder;
        engraver = std::make_unique<engraver::Engraver>(loop, port, host);
        engraver->load();
    }
    runtime::VirtualEventLoop loop;
    FakeHost host;
    std::unique_ptr<engraver::Engraver> engraver;  // NOTE: after the loop: destroyed first
};

class Monkey {
  public:
    explicit Monkey(uint32_t seed)
        : seed_(seed), random_(seed), sim_(startState(), [this] { return nowMs(); }), watch_(sim_) {
        folder_ = dir_.path().toStdString();
        pictures_ = {
            writeFile(folder_, "gradient.png", encode(gradient(40, 30), "PNG")),
            writeFile(folder_, "grey.jpg", encode(solid(20, 20, qRgb(90, 90, 90)), "JPEG")),
            writeFile(folder_, "dot.bmp", encode(solid(1, 1, qRgb(10, 10, 10)), "BMP")),
            writeFile(folder_, "anim.gif",
                      makeGif(6, 6, 2, [](int k, int x, int) { return (k + x) % 2; })),
            writeFile(folder_, "named.jpg", encode(gradient(9, 9), "PNG")),  // wrong extension
        };
        badFiles_ = {
            writeFile(folder_, "empty.jpg", QByteArray()),
            writeFile(folder_, "noise.jpg", QByteArray("no picture at all")),
            writeFile(folder_, "cut.png", encode(gradient(60, 60), "PNG").left(200)),
            writeFile(folder_, "bomb.bmp", bmpHeader(30000, 30000)),
            folder_,  // a folder
            folder_ + "/missing.gif",
        };
        newSession();
    }

    void soak(int64_t hours) {
        const int64_t end = hours * kHourMs;
        while (nowMs() < end && violations().size() < 20) {
            act();
            wait(pause());
        }
    }

    std::vector<std::string> violations() const {
        std::vector<std::string> all = watch_.violations;
        all.insert(all.end(), violations_.begin(), violations_.end());
        return all;
    }
    int64_t actions() const { return actions_; }
    int sessions() const { return sessions_; }

  private:
    static machine::SimConfig startState() {
        machine::SimConfig config;
        config.headX = 60;
        config.headY = 30;
        config.data = 5;  // the watchdog has work to do at the first start
        return config;
    }

    double nowMs() const { return offsetMs_ + (session_ ? session_->loop.nowMs() : 0); }
    form::Form1& f() { return session_->engraver->form(); }
    engraver::Engraver& core() { return *session_->engraver; }

    void newSession() {
        if (session_) offsetMs_ += session_->loop.nowMs();
        session_.reset();
        session_ = std::make_unique<Session>(watch_, folder_);
        ++sessions_;
        session_->loop.addAfterDispatch([this] { check("after a dispatch"); });
        rebaseline();
        sinceStop_ = false;
        jobWasRunning_ = false;
    }

    // --- Actions ---

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }

    int64_t pause() {
        const int kind = pick(100);
        if (kind < 70) return pick(1500);
        if (kind < 97) return 1500 + pick(20000);
        return 60000 + pick(20 * 60000);
    }

    void wait(int64_t ms) {
        session_->loop.advance(ms);
        if (session_->host.ended) newSession();
    }

    // Posts the operator's action into the loop: it may land inside a handler that lets
    // events run, as a click does.
    void post(std::string label, std::function<void()> action) {
        session_->loop.post([this, label = std::move(label), action = std::move(action)] {
            if (session_->host.ended) return;
            sinceStop_ = false;
            ++actions_;
            watch_.note(label);
            action();
            check("after an action");
        });
    }

    void act() {
        static const char* const kPanel[] = {"Command2(0)", "Command2(1)", "Command2(4)",
                                             "Command2(5)", "Command2(6)"};
        static const char* const kGoodPeriods[] = {"5", "10", "20", "40", "100", " 64 ", "10.5"};
        static const char* const kBadPeriods[] = {"", "abc", "0", "-5", "70000", "1e3"};
        const int what = pick(100);
        if (what < 20) {  // a jog press, released, lost or left held
            const int index = pick(6);
            const std::string name = "Command1(" + std::to_string(index) + ")";
            post("down " + name, [this, name] { core().mouseDown(name, 1 + pick(2)); });
            const int ending = pick(10);
            const int64_t heldMs = pick(3000);
            if (ending < 6) {
                session_->loop.post(
                    [this, name] {
                        if (!session_->host.ended) core().mouseUp(name);
                        watch_.note("up " + name);
                        check("after a release");
                    },
                    double(heldMs));
            } else if (ending < 8) {
                session_->loop.post(
                    [this] {
                        if (!session_->host.ended) core().pressLost();
                        watch_.note("focus lost");
                        check("after a lost focus");
                    },
                    double(heldMs));
            }
        } else if (what < 27) {  // Load: a picture, a bad file, or a cancel
            const int kind = pick(10);
            std::string answer;
            if (kind < 5)
                answer = pictures_[size_t(pick(int(pictures_.size())))];
            else if (kind < 8)
                answer = badFiles_[size_t(pick(int(badFiles_.size())))];
            post("load " + answer, [this, answer] {
                session_->host.dialogAnswers = {answer};
                core().click("Command2(0)");
                session_->host.errors.clear();
            });
        } else if (what < 42) {  // Run, after choosing a job now and then
            post("run", [this] {
                if (chance(0.5)) core().click(chance(0.4) ? "Option1" : "Option2");
                core().click("Command2(1)");
                session_->host.messages.clear();
            });
        } else if (what < 52) {
            post("abort", [this] { stop("Command2(5)"); });
        } else if (what < 54) {
            post("exit", [this] { stop("Command2(4)"); });
        } else if (what < 60) {
            post("panel", [this] { core().click(kPanel[pick(5)]); });
        } else if (what < 68) {
            post("go home", [this] { core().click(chance(0.5) ? "Command3" : "Command5"); });
        } else if (what < 76) {
            post("laser button", [this] { core().click(chance(0.3) ? "Command4" : "Command6"); });
        } else if (what < 86) {  // a speed box, good or bad
            const char* box = chance(0.6) ? "Combo1" : "Combo2";
            const char* text = chance(0.7) ? kGoodPeriods[pick(7)] : kBadPeriods[pick(6)];
            post(std::string(box) + "=" + text, [this, box, text] { core().set(box, text); });
        } else if (what < 93) {  // the choices and the sliders
            static const char* const kSliders[] = {"HScroll1", "VScroll1", "HScroll2", "VScroll2",
                                                   "HScroll3"};
            const int kind = pick(4);
            post("choice", [this, kind] {
                if (kind == 0) core().click(chance(0.5) ? "Check1" : "Check2");
                if (kind == 1) core().click(chance(0.5) ? "Option1" : "Option2");
                if (kind >= 2) {
                    const char* name = kSliders[pick(5)];
                    form::Control* c = f().control(name);
                    core().set(name, std::to_string(c->min + pick(c->max - c->min + 1)));
                }
            });
        } else {
            static const char* const kHelp[] = {"shema", "explan", "about"};
            post("help", [this] { core().click(kHelp[pick(3)]); });
        }
    }

    // Abort and Exit. Between their two writes they let events run, and the laser may still be
    // on there; once they return the machine must stay at rest until the next action.
    void stop(const char* button) {
        stopping_ = true;
        core().click(button);
        stopping_ = false;
        sinceStop_ = true;
    }

    // --- Checks ---

    void fail(const char* where, const std::string& what) {
        std::ostringstream s;
        s << "seed " << seed_ << ", t=" << int64_t(nowMs()) << " ms, " << where << ": " << what
          << "\n  last:";
        for (const std::string& h : watch_.history) s << ' ' << h << ';';
        violations_.push_back(s.str());
    }

    void rebaseline() {
        xCount0_ = f().xStepCount;
        yCount0_ = f().yStepCount;
        x0_ = sim_.x();
        y0_ = sim_.y();
        watch_.x.irregular = watch_.y.irregular = false;
        remember();
    }

    bool anyTimer() {
        for (auto& [name, t] : f().timers()) {
            if (t->Enabled()) return true;
        }
        return false;
    }

    bool laserJustified() {
        form::Form1& g = f();
        return g.Timer3.Enabled() || g.Command4.caption == "Max Laser Power On" ||
               core().motion().heldJog() >= 0 || g.Timer8.Enabled() || g.Timer9.Enabled() ||
               (g.Timer5.Enabled() && g.laserPulseOn) || g.Timer10.Enabled() || stopping_;
    }

    void check(const char* where) {
        if (session_->host.ended) return;
        form::Form1& g = f();
        if (sim_.faults() != 0) fail(where, "the simulator counted a wiring fault");
        const int runTimers =
            g.Timer4.Enabled() + g.Timer5.Enabled() + g.Timer6.Enabled() + g.Timer7.Enabled();
        if (runTimers > 1) fail(where, std::to_string(runTimers) + " picture-run timers enabled");
        if (sim_.laserOn() && !laserJustified()) fail(where, "the laser is on and nothing asked");
        if (sinceStop_ &&
            (anyTimer() || sim_.data() != 0 || sim_.control() != machine::LASER_OFF)) {
            std::string timers;
            for (auto& [name, t] : g.timers()) {
                if (t->Enabled()) timers += " " + name;
            }
            fail(where, "after Abort or Exit: timers" + timers + ", data " +
                            std::to_string(sim_.data()) + ", control " +
                            std::to_string(sim_.control()));
        }
        const bool jobRunning = g.Timer4.Enabled() || g.Timer5.Enabled() || g.Timer6.Enabled() ||
                                g.Timer7.Enabled() || g.Timer8.Enabled() || g.Timer9.Enabled();
        if (jobWasRunning_ && !jobRunning && !g.Timer1.Enabled() && !g.Timer2.Enabled() &&
            sim_.data() != 0) {
            fail(where, "a job ended with coils powered");
        }
        jobWasRunning_ = jobRunning;
        checkCounters(where);
    }

    void checkCounters(const char* where) {
        form::Form1& g = f();
        // Two timers driving one motor (Go Home during a job) make its counter meaningless.
        const bool xShared =
            g.Timer1.Enabled() + g.Timer4.Enabled() + g.Timer7.Enabled() + g.Timer8.Enabled() > 1;
        const bool yShared = g.Timer2.Enabled() + g.Timer6.Enabled() + g.Timer9.Enabled() > 1;
        // A word that went the other way than the counter did: a move that started out of phase.
        const auto against = [](int64_t counted, int64_t moved) {
            return (counted > 0 && moved < 0) || (counted < 0 && moved > 0);
        };
        // A new stretch begins at a counter set to 0 at its switch, and after a word that moved a
        // rotor other than one table step or the other way; the words before were checked after
        // their dispatch.
        if ((g.xStepCount == 0 && sim_.xHome()) || (g.yStepCount == 0 && sim_.yHome()) ||
            watch_.x.irregular || watch_.y.irregular || xShared || yShared ||
            against(g.xStepCount - xLast_, sim_.x() - xPosLast_) ||
            against(g.yStepCount - yLast_, sim_.y() - yPosLast_)) {
            rebaseline();
            return;
        }
        checkAxis(where, "X", g.xStepCount - xCount0_, sim_.x() - x0_);
        checkAxis(where, "Y", g.yStepCount - yCount0_, sim_.y() - y0_);
        remember();
    }

    void remember() {
        xLast_ = f().xStepCount;
        yLast_ = f().yStepCount;
        xPosLast_ = sim_.x();
        yPosLast_ = sim_.y();
    }

    void checkAxis(const char* where, const char* axis, int64_t counted, int64_t moved) {
        if (std::abs(2 * counted - moved) <= 1) return;
        fail(where, std::string(axis) + " counted " + std::to_string(counted) +
                        " full steps, the head moved " + std::to_string(moved) + " half-steps");
        rebaseline();
    }

    uint32_t seed_;
    std::mt19937 random_;
    QTemporaryDir dir_;
    std::string folder_;
    std::vector<std::string> pictures_, badFiles_;
    machine::SimEngraver sim_;
    WatchPort watch_;
    std::unique_ptr<Session> session_;
    double offsetMs_ = 0;
    int sessions_ = 0;
    int64_t actions_ = 0;
    bool sinceStop_ = false;
    bool stopping_ = false;
    bool jobWasRunning_ = false;
    int64_t xCount0_ = 0, yCount0_ = 0, x0_ = 0, y0_ = 0;
    int64_t xLast_ = 0, yLast_ = 0, xPosLast_ = 0, yPosLast_ = 0;
    std::vector<std::string> violations_;
};

// What the soak found: Auto switched off during a frame run (Command6 stays enabled with "Frame
// cutting") left the laser the run had lit burning after the run, since the legs' ends wrote
// 202 only in Auto mode.
TEST(FoundBySoak, AutoSwitchedOffDuringAFrameRunStillPutsOutTheLaserItLit) {
    for (bool abortFirst : {false, true}) {
        SCOPED_TRACE(abortFirst ? "after an aborted run" : "one run");
        Harness h;
        h.start();
        h.engraver->click("Command6");  // Auto on
        h.engraver->click("Option2");
        if (abortFirst) {
            h.engraver->click("Command2(1)");
            h.wait(300);
            h.engraver->click("Command2(5)");
        }
        h.engraver->click("Command2(1)");
        h.wait(300);
        ASSERT_TRUE(h.form().Timer8.Enabled());
        ASSERT_EQ(h.control(), machine::LASER_ON);
        h.engraver->click("Command6");  // Auto off in the middle of the X+ leg
        h.wait(20);                     // the next step puts the laser out
        EXPECT_EQ(h.control(), machine::LASER_OFF);
        h.clearTrace();
        ASSERT_TRUE(h.untilIdle(3600 * 1000));
        EXPECT_EQ(h.control(), machine::LASER_OFF);
        for (const auto& [address, value] : h.writes()) {
            EXPECT_NE(address, CONTROL_REG) << "with Auto off the rest of the run leaves it alone";
        }
    }
}

class MonkeySoak : public testing::TestWithParam<uint32_t> {};

TEST_P(MonkeySoak, HoursOfRandomOperationKeepEveryInvariant) {
    Monkey monkey(GetParam());
    monkey.soak(kSoakHours);
    const std::vector<std::string> found = monkey.violations();
    for (size_t i = 0; i < found.size() && i < 5; ++i) ADD_FAILURE() << found[i];
    EXPECT_GT(monkey.actions(), 100);
    RecordProperty("actions", static_cast<int>(monkey.actions()));
    RecordProperty("sessions", monkey.sessions());
}

INSTANTIATE_TEST_SUITE_P(Seeds, MonkeySoak, testing::Values(1u, 2u, 3u, 4u));

}  // namespace
}  // namespace ostrel::test
