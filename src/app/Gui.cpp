// The GUI front end: the main window on the real-time loop, over the chosen port backend.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>
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

int runGui(int argc, char** argv) {
    QApplication app(argc, argv);
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

    ui::QtHost host;
    panel::Engraver engraver(loop, *port, host);
    ui::MainWindow window(engraver);
    host.setDialogParent(&window);
    window.show();
    engraver.Load();
    const int code = app.exec();
    // Belt and braces: whatever ended the loop, the machine is left at rest.
    engraver.RestNow();
    return code;
}

}  // namespace ostrel::app
