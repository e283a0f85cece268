// Resources the program carries, and writing one of them to a file.
#pragma once

#include <string>

namespace ostrel::engraver {

inline constexpr int kSchematicResource = 101;  // the wiring schematic, a JPEG

// Writes a carried resource to a file: the whole file is replaced atomically (written to a
// temporary file beside it, then renamed), so an older, longer file leaves no tail behind.
// Returns false with a message in `error` when the resource is missing or the file cannot be
// written.
bool SaveResourceToFile(int resourceId, const std::string& path, std::string& error);

}  // namespace ostrel::engraver
