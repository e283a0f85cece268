// The command-line front ends: the GUI, `ostrel script`, `ostrel simulate`, `ostrel latency`.
#pragma once

namespace ostrel::app {

// `ostrel [--port SPEC]`: the main window on the real-time loop.
int runGui(int argc, char** argv);
// `ostrel script FILE [...]`: a scenario of operator actions in virtual time.
int runScript(int argc, char** argv);
// `ostrel simulate [...]`: a whole job headless in virtual time.
int runSimulate(int argc, char** argv);
// `ostrel latency [...]`: the step-timing self-test on the monotonic clock, no port written.
int runLatency(int argc, char** argv);

}  // namespace ostrel::app
