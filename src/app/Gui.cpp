// The GUI front end (filled in by its own change).
#include <cstdio>

#include "app/Commands.h"

namespace ostrel::app {

int runGui(int, char**) {
    std::fprintf(stderr, "ostrel: the window is not available yet\n");
    return 2;
}

}  // namespace ostrel::app
