// The GUI program as a whole: a termination signal leaves the machine at rest.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

namespace ostrel::test {
namespace {

// The rows of a port trace ("t_ms,op,port,value") as (port, value) pairs.
std::vector<std::pair<int, int>> traceWrites(const QString& path) {
    std::vector<std::pair<int, int>> writes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return writes;
    file.readLine();  // header
    while (!file.atEnd()) {
        const QList<QByteArray> cells = file.readLine().trimmed().split(',');
        if (cells.size() == 4 && cells[1] == "out") {
            writes.emplace_back(cells[2].toInt(), cells[3].toInt());
        }
    }
    return writes;
}

TEST(GuiProgram, TerminationSignalsPutTheMachineAtRestBeforeTheEnd) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QTemporaryDir folder;
        const QString trace = folder.filePath(QStringLiteral("trace.csv"));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The windows remember their places in the test's folder, not the user's settings.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(OSTREL_BINARY), {QStringLiteral("--trace"), trace});
        ASSERT_TRUE(program.waitForStarted(10'000));
        // The trace file exists once the port is open, and the signals are caught before that.
        for (int waited = 0; !QFile::exists(trace) && waited < 30'000; waited += 20) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(QFile::exists(trace));
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(30'000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 128 + signal);  // as a shell shows it
        const auto writes = traceWrites(trace);
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[writes.size() - 2], (std::pair<int, int>{888, 0}));
        EXPECT_EQ(writes.back(), (std::pair<int, int>{890, 202}));
    }
}

}  // namespace
}  // namespace ostrel::test
