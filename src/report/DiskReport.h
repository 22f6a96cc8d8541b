// The disk information report's header and the process-wide MachineInfo
// record (host description, computer name, time text, controller ids). The
// inventory scan writes the header through BuildReportHeader; the main window
// reads MachineInfo. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>

#include "controller/ControllerInfo.h"
#include "platform/PlatformContext.h"

namespace kivo {

struct MachineInfoRecord {
  std::array<char, 256> osText{};       // at most 255 characters
  std::array<char, 16> computerName{};  // the name last read successfully
  std::array<char, 256> timeText{};     // the time text last taken
  std::array<std::int32_t, 32> controllerIds{};
  std::int32_t controllerCount = 0;

  const char* OsText() const { return osText.data(); }
  // Copies the text in, cut to 255 characters.
  void SetOsText(const char* text);
  const char* ComputerName() const { return computerName.data(); }
  const char* TimeText() const { return timeText.data(); }
  std::int32_t ControllerCount() const { return controllerCount; }
  // The id at `index`, or -1 outside 0..controllerCount-1.
  std::int32_t ControllerIdAt(int index) const;
  // Back to the start-of-run state (empty texts, no controllers).
  void Reset();
};

MachineInfoRecord& MachineInfo();

// Restarts ReportText with the report header (title, version and notice;
// time; host description; computer name) and refreshes the host texts of
// MachineInfo.
void BuildReportHeader(const platform::PlatformContext& context);
// Runs Initialise on records[0] and copies its controller list into
// MachineInfo; always 0.
int CollectControllerIds(ControllerRecords& records);
// Takes the current local time as text into MachineInfo and returns it.
const char* TakeTimeText(const platform::PlatformContext& context);
// Reads the computer name into MachineInfo when the host tells it; returns
// the name last read successfully (empty when none was).
const char* ReadComputerName(const platform::PlatformContext& context);
// The plain host description used when the full one cannot be built: stored
// as MachineInfo's osText and appended to ReportText with its blank lines.
void FallbackOsText(const platform::PlatformContext& context);

}  // namespace kivo
