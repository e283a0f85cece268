// `ostrel simulate` (filled in by its own change).
#include <cstdio>

#include "app/Commands.h"

namespace ostrel::app {

int runSimulate(int, char**) {
    std::fprintf(stderr, "ostrel simulate: not available yet\n");
    return 2;
}

}  // namespace ostrel::app
