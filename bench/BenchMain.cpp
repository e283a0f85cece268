// ostrel_bench: measures timing fidelity, virtual speed, picture loading and idle and busy
// cost, and prints one table (and the same as JSON). bench/run builds and runs it.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "Bench.h"
#include "Process.h"

namespace {

constexpr const char* kUsage =
    "Usage: ostrel_bench [--ostrel PATH] [--repeat N] [--json PATH] [--only LIST]\n"
    "                    [--work DIR] [--commit ID] [--dot-seconds N] [--hogs churn|spin]\n"
    "  --ostrel PATH  the program under test (default: ostrel beside this program's folder)\n"
    "  --repeat N     runs of each measurement, 1-9 (default 3)\n"
    "  --json PATH    also write the figures as JSON to PATH\n"
    "  --only LIST    some of realtime,dots,virtual,load,idle (comma-separated; default all)\n"
    "  --dot-seconds N  length of the dot-energy runs, 10-600 s (default 60)\n"
    "  --hogs KIND    the load of the loaded runs: churn (page faults too, the default) or spin\n"
    "  --work DIR     scratch folder (default: a new one in /dev/shm, else /tmp)\n"
    "  --commit ID    the commit measured, recorded in the JSON\n";

std::string nowText() {
    const std::time_t t = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ostrel::bench;
    QCoreApplication app(argc, argv);  // the picture decoders are Qt plugins
    if (argc == 4 && std::string(argv[1]) == "--load-child") return loadChild(argv[2], argv[3]);
    if (argc == 2 && std::string(argv[1]) == "--timer-child") return timerChild();
    if (argc == 4 && std::string(argv[1]) == "--hog-child") {
        return hogChild(std::atoi(argv[2]), argv[3]);
    }

    namespace fs = std::filesystem;
    Context c;
    c.self = fs::canonical("/proc/self/exe").string();
    c.ostrel = (fs::path(c.self).parent_path().parent_path() / "ostrel").string();
    c.samplePicture = std::string(OSTREL_SOURCE_DIR) + "/resources/sample.png";
    c.log = &std::cerr;
    std::string jsonPath, commit;
    std::set<std::string> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ostrel" && hasValue) {
            c.ostrel = argv[++i];
        } else if (arg == "--repeat" && hasValue) {
            c.repeats = std::atoi(argv[++i]);
        } else if (arg == "--json" && hasValue) {
            jsonPath = argv[++i];
        } else if (arg == "--work" && hasValue) {
            c.workDir = argv[++i];
        } else if (arg == "--commit" && hasValue) {
            commit = argv[++i];
        } else if (arg == "--dot-seconds" && hasValue) {
            c.dotSeconds = std::atof(argv[++i]);
        } else if (arg == "--hogs" && hasValue) {
            c.hogKind = argv[++i];
        } else if (arg == "--only" && hasValue) {
            std::istringstream list(argv[++i]);
            std::string item;
            while (std::getline(list, item, ',')) only.insert(item);
        } else {
            std::cerr << (arg == "--help" || arg == "-h" ? ""
                                                         : "ostrel_bench: bad option " + arg + "\n")
                      << kUsage;
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    if (c.repeats < 1 || c.repeats > 9) {
        std::cerr << "ostrel_bench: --repeat takes 1 to 9\n";
        return 2;
    }
    if (!(c.dotSeconds >= 10 && c.dotSeconds <= 600) ||
        (c.hogKind != "churn" && c.hogKind != "spin")) {
        std::cerr << "ostrel_bench: --dot-seconds takes 10 to 600, --hogs churn or spin\n";
        return 2;
    }
    for (const std::string& item : only) {
        if (item != "realtime" && item != "dots" && item != "virtual" && item != "load" &&
            item != "idle") {
            std::cerr << "ostrel_bench: --only: unknown measurement " << item << '\n' << kUsage;
            return 2;
        }
    }
    if (!fs::exists(c.ostrel)) {
        std::cerr << "ostrel_bench: no program at " << c.ostrel << " (use --ostrel)\n";
        return 2;
    }
    if (c.workDir.empty()) {
        // NOTE: in memory where there is a tmpfs: the real-time runs write their trace row by
        // row, and a write that waits for the disk would show up as a late tick.
        std::string pattern = fs::is_directory("/dev/shm") && access("/dev/shm", W_OK) == 0
                                  ? "/dev/shm/ostrel-bench-XXXXXX"
                                  : "/tmp/ostrel-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::cerr << "ostrel_bench: cannot make a scratch folder\n";
            return 2;
        }
        c.workDir = pattern;
    }
    fs::create_directories(c.workDir);
    auto wanted = [&only](const char* name) { return only.empty() || only.count(name) > 0; };

    RunInfo info;
    info.commit = commit;
    info.date = nowText();
    info.repeats = c.repeats;
    c.stepTiming = &info.stepTiming;
    info.loadBefore = loadAverage();
    const double start = monotonicMs();
    std::vector<Figure> figures;
    // The in-process and single-threaded measurements first, the real-time ones last.
    if (wanted("virtual")) measureVirtualSpeed(c, figures);
    if (wanted("load")) measurePictureLoad(c, figures);
    if (wanted("idle")) measureIdle(c, figures);
    if (wanted("realtime")) measureRealTime(c, figures);
    if (wanted("dots")) measureDots(c, figures);
    info.wallSeconds = (monotonicMs() - start) / 1000;
    info.loadAfter = loadAverage();

    std::cout << '\n' << tableText(figures);
    std::printf(
        "\n%d runs each, %.0f s; load average %.2f before, %.2f after; scratch files in %s\n",
        c.repeats, info.wallSeconds, info.loadBefore, info.loadAfter, c.workDir.c_str());
    if (!info.stepTiming.empty()) std::printf("step timing: %s\n", info.stepTiming.c_str());
    if (!jsonPath.empty() && !writeFile(jsonPath, jsonText(figures, info))) {
        std::cerr << "ostrel_bench: cannot write " << jsonPath << '\n';
        return 2;
    }
    return 0;
}
