// Runs the Qt event loop in the runtime tests until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

namespace ostrel::runtime::testing {

// Runs the Qt event loop until `done` holds; the deadline only guards against a hang.
inline bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

}  // namespace ostrel::runtime::testing
