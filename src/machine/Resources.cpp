// Carried resources (filled in by its own change).
#include "machine/Resources.h"

namespace ostrel::machine {

bool SaveResourceToFile(int, const std::string&, std::string& error) {
    error = "not available yet";
    return false;
}

}  // namespace ostrel::machine
