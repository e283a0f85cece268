// Child processes for the benchmark: start, wait with resource use, and CPU samples from /proc.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrel::bench {

// Milliseconds on the monotonic clock.
double monotonicMs();
void sleepForMs(double ms);

struct Spawn {
    std::vector<std::string> argv;
    std::vector<std::string> env;  // NAME=VALUE, added to this process's environment
    std::string stdoutPath = "/dev/null";
    std::string stderrPath = "/dev/null";
};

// Starts a child; -1 when it cannot be started.
pid_t startChild(const Spawn& spawn);

struct ChildEnd {
    int exitCode = -1;     // 128 + signal when a signal ended it
    double cpuMs = 0;      // user + system time of the child
    long maxRssKb = 0;     // its peak resident memory
    long preemptions = 0;  // involuntary context switches: other processes took its core
};

ChildEnd waitChild(pid_t pid);

// Runs a child to its end; wallMs gets the time from start to end.
ChildEnd runChild(const Spawn& spawn, double* wallMs = nullptr);

struct CpuSample {
    double atMs = 0;       // when the sample was taken (monotonicMs)
    double cpuMs = 0;      // utime + stime of every thread, from /proc/PID/stat
    long wakeUps = 0;      // voluntary context switches of every thread (/proc/PID/task/*/status)
    long preemptions = 0;  // involuntary ones
};

std::optional<CpuSample> sampleProcess(pid_t pid);

// The machine's 1-minute load average.
double loadAverage();

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);

}  // namespace ostrel::bench
