// The shared test harness: virtual loop, simulated engraver, tracing port and a fake platform.
#include "support/Harness.h"

#include <QDir>
#include <QTemporaryDir>

namespace ostrel::test {

Harness::Harness(const machine::SimConfig& config) {
    sim = std::make_unique<machine::SimEngraver>(config, [this] { return loop.nowMs(); });
    trace = std::make_unique<machine::TracingPort>(*sim, [this] { return loop.nowMs(); });
    trace->setRecording(true);
    QTemporaryDir dir(QDir::tempPath() + "/ostrel-test-XXXXXX");
    dir.setAutoRemove(false);
    tempDir = dir.path().toStdString();
    host.folder = tempDir;
}

Harness::~Harness() {
    engraver.reset();
    if (!tempDir.empty()) QDir(QString::fromStdString(tempDir)).removeRecursively();
}

void Harness::start() {
    engraver = std::make_unique<engraver::Engraver>(loop, *trace, host);
    engraver->load();
}

bool Harness::untilIdle(int64_t maxMs) {
    auto idle = [this] { return !form::anyEnabled(form(), form::kActivityTimers); };
    return loop.advanceUntil(idle, maxMs);
}

std::vector<std::pair<int, int>> Harness::writes() const {
    std::vector<std::pair<int, int>> out;
    for (const machine::TraceRecord& r : trace->records()) {
        if (r.write) out.emplace_back(r.address, r.value);
    }
    return out;
}

}  // namespace ostrel::test
