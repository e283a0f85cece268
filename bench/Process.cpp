// Child processes for the benchmark: posix_spawn, wait4 and /proc.
#include "Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

extern char** environ;

namespace ostrel::bench {

double monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void sleepForMs(double ms) {
    if (ms <= 0) return;
    const double end = monotonicMs() + ms;
    timespec ts{};
    const double seconds = end / 1e3;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

pid_t startChild(const Spawn& spawn) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& mine : spawn.env) {
            if (mine.substr(0, mine.find('=')) == name) replaced = true;
        }
        if (!replaced) envText.push_back(entry);
    }
    for (const std::string& mine : spawn.env) envText.push_back(mine);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = spawn.argv;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, spawn.stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, spawn.stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

ChildEnd waitChild(pid_t pid) {
    ChildEnd end;
    if (pid < 0) return end;
    int status = 0;
    rusage usage{};
    pid_t r;
    while ((r = wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (r < 0) return end;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto ms = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
    };
    end.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    end.maxRssKb = usage.ru_maxrss;
    end.preemptions = usage.ru_nivcsw;
    return end;
}

ChildEnd runChild(const Spawn& spawn, double* wallMs) {
    const double start = monotonicMs();
    const ChildEnd end = waitChild(startChild(spawn));
    if (wallMs) *wallMs = monotonicMs() - start;
    return end;
}

std::optional<CpuSample> sampleProcess(pid_t pid) {
    CpuSample sample;
    sample.atMs = monotonicMs();
    const std::string proc = "/proc/" + std::to_string(pid);
    // Fields 14 and 15 of stat, after the command name in parentheses (which may hold blanks).
    const std::string stat = readFile(proc + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // Field 3, the state: a process that has ended (a zombie) gives no sample.
    if (stat.compare(close + 2, 1, "Z") == 0 || stat.compare(close + 2, 1, "X") == 0) {
        return std::nullopt;
    }
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    sample.cpuMs =
        static_cast<double>(utime + stime) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));

    DIR* tasks = opendir((proc + "/task").c_str());
    if (!tasks) return std::nullopt;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::istringstream status(readFile(proc + "/task/" + entry->d_name + "/status"));
        std::string line;
        while (std::getline(status, line)) {
            const auto value = [&line] {
                return std::atol(line.substr(line.find(':') + 1).c_str());
            };
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) sample.wakeUps += value();
            if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) sample.preemptions += value();
        }
    }
    closedir(tasks);
    return sample;
}

double loadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace ostrel::bench
