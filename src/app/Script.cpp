// `ostrel script`: reads a scenario file and runs it headless in virtual time.
#include "app/Script.h"

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/Safety.h"

namespace ostrel::app {

int runScript(int argc, char** argv) {
    int exitCode = 0;
    std::optional<ScriptCommand> command =
        parseScriptCommandLine(argc, argv, exitCode, std::cout, std::cerr);
    if (!command) return exitCode;

    std::ifstream file(command->scriptPath, std::ios::in | std::ios::binary);
    if (!file) {
        std::cerr << "ostrel script: cannot read " << command->scriptPath << '\n';
        return kScriptMalformed;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        std::cerr << "ostrel script: cannot read " << command->scriptPath << '\n';
        return kScriptMalformed;
    }
    // Pictures named by `dialog` lines are found beside the script.
    std::error_code ec;
    command->options.baseDir =
        std::filesystem::absolute(command->scriptPath, ec).parent_path().string();

    // The picture decoders are Qt plugins; they need an application object, not a display.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);

    // SIGINT, SIGTERM, SIGHUP and SIGQUIT end a long run between two dispatches, at rest.
    safety::StopSignals stops;
    command->options.stopSignal = [&stops] { return stops.take(); };
    return runScenario(text.str(), command->options, std::cout, std::cerr);
}

}  // namespace ostrel::app
