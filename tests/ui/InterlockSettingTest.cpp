// The GUI program remembers the interlock it was given and never drops an unreadable one.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>

#include "app/SafetyChild.h"

namespace ostrel::test {
namespace {

struct Started {
    int exitCode = -1;
    QByteArray err;
};

// Starts the program in `dir` with `args`, waits until its trace exists (the window is up) or
// it has ended, then ends it with SIGTERM.
Started startAndStop(const QTemporaryDir& dir, QStringList args) {
    const QString trace = dir.filePath("trace.csv");
    QFile::remove(trace);
    args << "--trace" << trace;
    QProcess program;
    startOstrel(program, args, dir.path());
    EXPECT_TRUE(program.waitForStarted(10'000));
    bool ended = false;  // without opening the port
    for (int waited = 0; !ended && !QFile::exists(trace) && waited < 30'000; waited += 20)
        ended = program.waitForFinished(20);
    if (!ended) {
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(30'000));
    }
    return {program.exitCode(), program.readAllStandardError()};
}

TEST(InterlockSetting, GivenOnceItHoldsAtTheNextStartsUntilNoneIsGiven) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("config/ostrel/ostrel.ini");

    Started s = startAndStop(dir, {"--interlock", "pin13:open-low"});
    EXPECT_EQ(s.exitCode, 128 + SIGTERM);
    EXPECT_TRUE(s.err.contains("interlock on pin13:open-low")) << s.err.toStdString();
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value("machine/interlock").toString(),
              "pin13:open-low");

    s = startAndStop(dir, {});
    EXPECT_TRUE(s.err.contains("interlock on pin13:open-low")) << "remembered";

    s = startAndStop(dir, {"--interlock", "none"});
    EXPECT_FALSE(s.err.contains("interlock on"));
    s = startAndStop(dir, {});
    EXPECT_FALSE(s.err.contains("interlock on")) << "none is remembered too";

    // A remembered value that cannot be read stops the start: the interlock is never dropped.
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue("machine/interlock", "pin14");
    }
    s = startAndStop(dir, {});
    EXPECT_EQ(s.exitCode, 2);
    EXPECT_TRUE(s.err.contains("the remembered bad interlock 'pin14'")) << s.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("trace.csv"))) << "no port was opened";
}

}  // namespace
}  // namespace ostrel::test
