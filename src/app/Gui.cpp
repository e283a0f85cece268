// The GUI front end: the main window on the real-time loop, over the chosen port backend.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "machine/PortFactory.h"
#include "machine/TracingPort.h"
#include "panel/Engraver.h"
#include "runtime/QtEventLoop.h"
#include "ui/Look.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

namespace ostrel::app {

namespace {

// Termination signals (Ctrl+C, logout, kill) end the program the way the close box does: the
// handler only wakes the event loop, which puts the machine at rest and quits. A second signal
// while that has not happened (the loop is blocked) rests the port from the handler and exits.
int wakePipe[2] = {-1, -1};
std::atomic<machine::Port*> signalPort{nullptr};
volatile std::sig_atomic_t terminationAsked = 0;

extern "C" void onTerminationSignal(int signal) {
    if (terminationAsked) {
        if (machine::Port* port = signalPort.load()) port->restFromSignal();
        _exit(128 + signal);
    }
    terminationAsked = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
}

void catchTerminationSignals() {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int runGui(int argc, char** argv) {
    QApplication app(argc, argv);
    // NOTE: before the port opens, so that no signal can end the program with a port that
    // nothing puts at rest.
    catchTerminationSignals();
    std::unique_ptr<QSocketNotifier> terminationWake;
    if (wakePipe[0] >= 0) {
        terminationWake = std::make_unique<QSocketNotifier>(wakePipe[0], QSocketNotifier::Read);
        QObject::connect(terminationWake.get(), &QSocketNotifier::activated, &app,
                         [] { QCoreApplication::exit(0); });
    }
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ostrel"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    // NOTE: Fusion draws a button in its palette's button colour, which the toggles rely on
    // to show their state (red on, light grey off).
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ui::loadPictures();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ui/ostrel.png")));

    int exitCode = 0;
    const std::optional<GuiOptions> options = parseGuiCommandLine(argc, argv, exitCode);
    if (!options) return exitCode;

    runtime::QtEventLoop loop;
    machine::PortOpenResult opened =
        machine::openPort(options->port, options->sim, [&loop] { return loop.nowMs(); });
    if (!opened.port || !opened.error.empty()) {
        std::fprintf(stderr, "ostrel: %s\n", opened.error.c_str());
        return 2;
    }
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

    signalPort.store(port);

    ui::QtHost host;
    panel::Engraver engraver(loop, *port, host);
    ui::MainWindow window(engraver);
    host.setDialogParent(&window);
    window.show();
    engraver.Load();
    const int code = app.exec();
    // Belt and braces: whatever ended the loop (Exit, the close box, a signal), the machine is
    // left at rest.
    engraver.RestNow();
    signalPort.store(nullptr);
    return code;
}

}  // namespace ostrel::app
