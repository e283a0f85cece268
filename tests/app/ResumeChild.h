// Interrupted picture jobs of the `ostrel` binary and their resumes: the job as a scenario, and
// the work piece a port trace leaves, replayed on a simulated engraver.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <utility>

#include "app/SafetyChild.h"
#include "machine/SimEngraver.h"

namespace ostrel::test {

// Laser-on time per head position (half-steps), and how many stretches made it up.
struct Burn {
    double ms = 0;
    int pulses = 0;
};
using Burns = std::map<std::pair<int64_t, int64_t>, Burn>;

// Where the head and the rotors stand, as --head and --rotor give them.
struct Machine {
    double headX = 0, headY = 0;  // full steps from the switches
    int rotorX = 0, rotorY = 0;
};

struct Replay {
    Burns burns;
    Machine end;  // the machine after the last write
    bool laserOn = false;
};

// The writes of a port trace (`out` rows; a failed write reaches nothing) on a simulated engraver
// that stands as `at` says at power-on. A rest row from a signal handler (time -1) counts at the
// time of the row before it.
inline Replay replayTrace(const QString& path, const Machine& at) {
    double now = 0;
    machine::SimConfig config;
    config.headX = at.headX;
    config.headY = at.headY;
    config.rotorX = at.rotorX;
    config.rotorY = at.rotorY;
    machine::SimEngraver sim(config, [&now] { return now; });
    for (const QByteArray& row : traceRows(path)) {
        const QList<QByteArray> f = row.split(',');
        if (f.size() != 4 || f[1] != "out") continue;
        if (f[0] != "-1") now = f[0].toDouble();
        sim.out(static_cast<uint16_t>(f[2].toUInt()), static_cast<uint8_t>(f[3].toUInt()));
    }
    Replay r;
    for (const machine::Exposure& e : sim.exposures()) {
        Burn& b = r.burns[{e.x, e.y}];
        b.ms += e.ms;
        ++b.pulses;
    }
    r.end = {static_cast<double>(sim.x()) / 2, static_cast<double>(sim.y()) / 2, sim.rotorX(),
             sim.rotorY()};
    r.laserOn = sim.laserOn();
    return r;
}

// A 15 x 15 picture of dark stripes: Coarse-Burning burns about two dots in three.
inline QString stripedPicture(const QTemporaryDir& dir) {
    QImage image(15, 15, QImage::Format_RGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            image.setPixel(x, y, (x + y) % 3 == 0 ? qRgb(250, 250, 250) : qRgb(90, 90, 90));
    const QString path = dir.filePath("stripes.png");
    image.save(path);
    return path;
}

// The machine at power-on: homing moves the head before the job.
inline constexpr Machine kPowerOn{10, 6, 0, 0};

// The striped picture's job as `ostrel simulate` sets it up (--size 15x15 --step-ms STEP):
// homing, the start-up notice waited out, the size, Coarse-Burning, the speed, Load, Run, and
// the job to its end. `setUp` comes before `start` (fail-after, fail-write).
inline QByteArray jobScenario(const QString& picture, int stepMs, const QByteArray& setUp = {}) {
    char head[64];
    std::snprintf(head, sizeof head, "head %g %g\nrotor %d %d\n", kPowerOn.headX, kPowerOn.headY,
                  kPowerOn.rotorX, kPowerOn.rotorY);
    return setUp + head +
           "start\n"
           "click Command3\n"
           "until-idle\n"
           "click Command5\n"
           "until-idle\n"
           "wait 1000\n"
           "expect Timer10.Enabled False\n"
           "set HScroll1 255\n"
           "set VScroll1 255\n"
           "set HScroll3 100\n"
           "set Check1 1\n"
           "set Check2 0\n"
           "set Combo1 " +
           QByteArray::number(stepMs) +
           "\n"
           "dialog " +
           picture.toUtf8() +
           "\n"
           "click Command2(0)\n"
           "click Option1\n"
           "click Command2(1)\n"
           "until-idle\n";
}

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(text);
    return f.fileName();
}

struct Ran {
    int code = -1;
    bool crashed = false;
    QByteArray out, err;
};

// `ostrel ARGS` to its end (at most a minute).
inline Ran runOstrel(const QStringList& args, const QString& workDir) {
    QProcess child;
    startOstrel(child, args, workDir);
    Ran r;
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished(5000);
        return r;
    }
    r.crashed = child.exitStatus() != QProcess::NormalExit;
    r.code = child.exitCode();
    r.out = child.readAllStandardOutput();
    r.err = child.readAllStandardError();
    return r;
}

// The options of `ostrel simulate` for the striped picture's job on the machine `at`.
inline QStringList simulateJob(const QString& picture, int stepMs, const Machine& at) {
    char head[64], rotor[32];
    std::snprintf(head, sizeof head, "%g,%g", at.headX, at.headY);
    std::snprintf(rotor, sizeof rotor, "%d,%d", at.rotorX, at.rotorY);
    return {
        "simulate", "--picture", picture,   "--size", "15x15", "--step-ms", QString::number(stepMs),
        "--head",   head,        "--rotor", rotor};
}

}  // namespace ostrel::test
