// The GUI front end: the main window on the real-time loop, over the chosen port backend.
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <cstdio>
#include <memory>

#include "Version.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/Safety.h"
#include "app/TestHooks.h"
#include "engraver/Engraver.h"
#include "machine/PortFactory.h"
#include "machine/TracingPort.h"
#include "runtime/QtEventLoop.h"
#include "runtime/ThreadSignals.h"
#include "runtime/TimingPriority.h"
#include "ui/Look.h"
#include "ui/MachineWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"
#include "ui/Settings.h"

namespace ostrel::app {

int runGui(int argc, char** argv) {
    // NOTE: before the port opens, so that no stop signal can end the program with a port that
    // nothing puts at rest. A signal that comes before the window waits in the pipe.
    safety::StopSignals stops;
    safety::installCrashHandlers();
    // The threads Qt starts with the application (the display connection's) leave the stop
    // signals to this one.
    const std::unique_ptr<QApplication> application = [&] {
        const runtime::EndingSignalsBlocked blocked;
        return std::make_unique<QApplication>(argc, argv);
    }();
    QApplication& app = *application;
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    // NOTE: no application display name: the window system would append it to every window
    // title, and the titles are exactly the windows' captions.
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    // NOTE: Fusion draws a button in its palette's button colour, which the toggles rely on
    // to show their state (red on, light grey off).
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ui::loadPictures();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ui/ostrel.png")));

    int exitCode = 0;
    const std::optional<GuiOptions> options = parseGuiCommandLine(argc, argv, exitCode);
    if (!options) return exitCode;
#ifdef OSTREL_TEST_HOOKS
    // NOTE: this binary can light the laser on command: it never opens a real port.
    if (options->port != "sim" && options->port.rfind("sim:", 0) != 0) {
        std::fprintf(stderr, "ostrel-testhooks: only the simulated engraver (--port sim)\n");
        return kUsageError;
    }
#endif

    // NOTE: declared before the loop, which lowers it when it goes.
    runtime::TimingPriority priority(runtime::systemSchedulerCalls(), !options->normalPriority);
    runtime::QtEventLoop loop;
    loop.setTimingPriority(&priority);
    std::string interlockError;
    const std::optional<machine::InterlockSetting> interlock =
        ui::interlockInForce(options->interlock, interlockError);
    if (!interlock) {
        std::fprintf(stderr, "ostrel: %s\n", interlockError.c_str());
        return kUsageError;
    }
    machine::PortOpenResult opened =
        machine::openPort(options->port, options->sim, [&loop] { return loop.nowMs(); });
    if (!opened.port || !opened.error.empty()) {
        std::fprintf(stderr, "ostrel: %s\n", opened.error.c_str());
        return 2;
    }
    // The simulated engraver has the switch where the setting says, closed.
    if (opened.sim) opened.sim->wireInterlock(*interlock);
    machine::Port* port = opened.port.get();
    std::unique_ptr<machine::TracingPort> trace;
    if (!options->tracePath.empty()) {
        trace = std::make_unique<machine::TracingPort>(*port, [&loop] { return loop.nowMs(); });
        std::string error;
        if (!trace->openCsv(options->tracePath, true, error)) {
            std::fprintf(stderr, "ostrel: %s\n", error.c_str());
            return 2;
        }
        port = trace.get();
    }
    // A crash or an uncaught exception from here on rests the port before the program dies.
    const safety::CrashPortScope crashScope(port);

    ui::QtHost host;
    engraver::Engraver engraver(loop, *port, host);
    engraver.interlock().set(*interlock);
    if (interlock->configured()) {
        std::fprintf(stderr, "ostrel: interlock on %s (--interlock none removes it)\n",
                     machine::interlockText(*interlock).c_str());
    }
    // The journal's half-second syncs wait for the disk on a thread of their own, never in
    // the middle of a step.
    engraver.pictureRun().setJournalSyncInBackground(true);
    ui::MainWindow window(engraver);
    // A stop signal ends the program the way the close box does, with the exit status a shell
    // shows for a program the signal ended (130 for Ctrl+C, 143 for kill).
    int stoppedBy = 0;
    const auto stopWatch = safety::watchStopSignals(stops, [&](int signal) {
        if (stoppedBy != 0) return;
        stoppedBy = signal;
        const bool rested = engraver.restNow();
        // NOTE: a tick under way (inside "let events run") must start nothing and write nothing
        // once this returns to it.
        ++engraver.context().abortGeneration;
        engraver.context().ended = true;
        std::fprintf(stderr, "ostrel: %s: %s\n", safety::signalName(signal),
                     rested ? "the machine was put at rest"
                            : "putting the machine at rest failed: switch it off at its power "
                              "supply");
        QCoreApplication::exit(safety::exitStatusFor(signal));
    });
    // A port write that failed: the window shows the core's report; it goes to the error stream
    // as well, at once, and sets the exit status.
    engraver.setFaultObserver(
        [](const std::string& report) { std::fprintf(stderr, "ostrel: %s\n", report.c_str()); });
    host.setDialogParent(&window);
    // Pause and Continue of the running job, beside Help.
    window.jobMenu();
    ui::MachineWindow machineWindow(engraver, opened.sim);
    machineWindow.setStepTimingSource([&priority] { return priority.describe(); });
    machineWindow.attachTo(window);
    window.show();
    // On the simulator the machine is only seen there.
    if (opened.sim) machineWindow.showBeside(false);
    engraver.load();
    // NOTE: the load procedure is no dispatch of the loop, so no window hears of it by itself:
    // the jog buttons it disabled and the watchdog it stopped show at once.
    window.renderNow();
    machineWindow.refreshNow();
    // An interrupted job waits in the program folder: its offer is in the Machine window.
    if (!opened.sim && machineWindow.resumeOffered()) machineWindow.showBeside(false);
#ifdef OSTREL_TEST_HOOKS
    if (!options->testHook.empty()) testhooks::schedule(options->testHook, engraver);
#endif
    // A signal handled while the load procedure let events run came before the loop could quit.
    const int code = stoppedBy != 0 ? safety::exitStatusFor(stoppedBy) : app.exec();
    // Belt and braces: whatever ended the loop (Exit, the close box, a signal), the machine is
    // left at rest.
    engraver.restNow();
    if (!engraver.portFault().empty()) return safety::kPortFaultStatus;
    return code;
}

}  // namespace ostrel::app
