// `ostrel script` (filled in by its own change).
#include <cstdio>

#include "app/Commands.h"

namespace ostrel::app {

int runScript(int, char**) {
    std::fprintf(stderr, "ostrel script: not available yet\n");
    return 2;
}

}  // namespace ostrel::app
