// Program entry: picks the GUI or one of the headless commands.
#include <cstring>

#include "app/Commands.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "script") == 0) return ostrel::app::runScript(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "simulate") == 0) {
        return ostrel::app::runSimulate(argc, argv);
    }
    return ostrel::app::runGui(argc, argv);
}
