// The `ostrel` binary as a child process for the safety tests: start, poll its trace, signal it.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QThread>
#include <functional>

namespace ostrel::test {

// The rows of a port trace after its header, without the empty one after the last newline.
inline QList<QByteArray> traceRows(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> rows = f.readAll().split('\n');
    if (!rows.isEmpty()) rows.removeFirst();
    while (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    return rows;
}

// "t_ms,out,890,203" -> "out,890,203": the row without its time.
inline QByteArray withoutTime(const QByteArray& row) {
    const int comma = row.indexOf(',');
    return comma < 0 ? row : row.mid(comma + 1);
}
inline QByteArray timeOf(const QByteArray& row) {
    return row.left(row.indexOf(','));
}

// True once the trace holds every one of `rows` (without their times); polls a few times a
// second for at most `timeoutMs` of real time.
inline bool waitForRows(const QString& path, const QList<QByteArray>& rows, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QList<QByteArray> seen;
        for (const QByteArray& row : traceRows(path)) seen << withoutTime(row);
        bool all = true;
        for (const QByteArray& row : rows) all = all && seen.contains(row);
        if (all) return true;
        QThread::msleep(20);
    }
    return false;
}

// A child `ostrel` (or `binary`) on the offscreen platform, without core files, in `workDir`;
// `changeEnv` may change its environment last.
inline void startOstrel(QProcess& child, const QStringList& args, const QString& workDir,
                        const QString& binary = OSTREL_BINARY,
                        const std::function<void(QProcessEnvironment&)>& changeEnv = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", workDir + "/config");  // where the windows remember places
    // NOTE: the sanitizers would report the crashes the tests provoke as their own findings.
    env.insert("ASAN_OPTIONS",
               "handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigfpe=0:"
               "allow_user_segv_handler=1:detect_leaks=0");
    if (changeEnv) changeEnv(env);
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(workDir);
    child.setChildProcessModifier([] {
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
    });
    child.start(binary, args);
}

}  // namespace ostrel::test
