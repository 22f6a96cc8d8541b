// Snapshot: writes ReportText whole to "data.txt" in the current directory
// and opens it in the user's text editor. The main window's "&Snapshot"
// command; user-interface thread only.
#pragma once

#include <string>

#include "platform/FileWriter.h"
#include "platform/PlatformContext.h"

namespace kivo {

constexpr char kSnapshotFile[] = "data.txt";

void Snapshot(const platform::PlatformContext& context);
// Snapshot with another file path (tests use unwritable places) and another
// writer (tests play a full disk); the message texts still name "data.txt".
void SnapshotTo(const platform::PlatformContext& context, const std::string& path,
                platform::FileWriter& writer = platform::SystemFileWriter());

}  // namespace kivo
