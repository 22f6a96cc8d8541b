// World files: the JSON description of an emulated machine (format in
// emulator/README.md). Used by zelka-emulator and by tests that build worlds
// from files or strings.
#pragma once

#include <string>

#include "emulator/World.h"

namespace kivo::emulator {

// Reads a world file into `world` (its configuration is replaced; the record
// and run-time state are cleared). On failure `world` is unchanged, the
// result is false and *error is "FILE:LINE: REASON".
bool LoadWorldFile(const std::string& path, World& world, std::string* error);

// The same from a JSON text; `sourceName` stands for the file in messages.
bool LoadWorldText(const std::string& text, const std::string& sourceName, World& world, std::string* error);

// Path of the repository's copy of the built-in world.
std::string DefaultWorldFilePath();

}  // namespace kivo::emulator
