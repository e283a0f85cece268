// The benchmark's measurements: what each one needs and the figures it adds.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Figures.h"

namespace ostrel::bench {

struct Context {
    std::string ostrel;         // the ostrel program under test
    std::string self;           // this program, for the measurements run in a child
    std::string workDir;        // scratch files: scenarios, traces, the generated JPEG
    std::string samplePicture;  // resources/sample.png
    int repeats = 3;
    double dotSeconds = 60;         // length of the dot-energy runs from Run
    std::string hogKind = "churn";  // the load's hogs: "churn" (kernel time too) or "spin"
    // What the real-time runs' step timing ran at, as the program says it ("real-time priority
    // (SCHED_FIFO 10) while timers run", ...); filled in by measureRealTime.
    std::string* stepTiming = nullptr;
    std::ostream* log = nullptr;  // progress notes
};

// Real-time fidelity of `ostrel script --realtime` (a 5 ms X jog, with the priority the program
// takes and at normal priority, and a small picture run at 5 ms, against their virtual-time
// runs), and the CPU a job at 10 ms costs.
void measureRealTime(const Context& context, std::vector<Figure>& figures);
// Dot energy: a 20 x 20 Precise-Burning run at 5 ms for dotSeconds, each dot's on-time and each
// tick's period against the virtual run, at raised and at normal priority, on a quiet machine
// and with CPU hogs on every processor; and `ostrel latency` under the same two loads.
void measureDots(const Context& context, std::vector<Figure>& figures);
// A full-size Precise-Burning job in virtual time, trace off.
void measureVirtualSpeed(const Context& context, std::vector<Figure>& figures);
// Load of a 24-megapixel JPEG into the 127 x 103 burn mask, against djpeg's full decode.
void measurePictureLoad(const Context& context, std::vector<Figure>& figures);
// The GUI idle: CPU and wake-ups over 5 s.
void measureIdle(const Context& context, std::vector<Figure>& figures);

// The child side of measurePictureLoad: loads FILE through the Load button of a fresh core
// writing into FOLDER, and prints the milliseconds the click took.
int loadChild(const std::string& file, const std::string& folder);
// The child side of the bare loop's reference: 400 ticks of a 5 ms timer on QtEventLoop; prints
// the p99 and the largest period error in ms.
int timerChild();
// A CPU hog for the loaded runs: busy for `seconds` ("churn": with page faults, "spin": not).
int hogChild(int seconds, const std::string& kind);

}  // namespace ostrel::bench
