// The inventory scan: finds the controllers, checks the driver's interface
// level, reads every controller's versions, units and drives into its record
// and writes the controller sections of the disk information report into
// ReportText. User-interface thread only (the main window, kivo-report).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "controller/ControllerInfo.h"
#include "report/ScanInventory.h"

namespace kivo {

// The maker's support address that ends the two driver-level messages.
constexpr char kSupportAddress[] = "http://www.zelka.example/support";

// How far the scan got with one controller (record i of the scan).
enum class ControllerScanState : std::uint8_t {
  kNotReached = 0,  // the driver-level check stopped the scan before it
  kRead,            // versions, units and drives read
  kOpenFailed,
  kQueryFailed,
};

// What a scan met, for callers that judge its outcome (kivo-report).
struct ScanOutcome {
  int controllerCount = 0;
  int controllersScanned = 0;  // records whose units were read
  int openFailures = 0;
  int queryFailures = 0;
  int closeFailures = 0;
  bool levelMismatch = false;  // the driver-level check stopped the scan
  // A controller that opened but whose reading met device calls failing with
  // a system error (its connection dropped, its driver stopped answering):
  // its section of the report is incomplete.
  struct CallFailure {
    int controllerId = 0;
    int calls = 0;            // failed calls while reading it
    std::uint32_t error = 0;  // the system error of the first
  };
  std::vector<CallFailure> callFailures;
  std::array<ControllerScanState, ControllerRecords::kCount> states{};
  // What was read of the units and drives of each controller in state kRead
  // (every one, beyond the 64 display rows too).
  std::array<ControllerInventory, ControllerRecords::kCount> inventories{};
};

// Rebuilds the report and every found controller's record. `allocate` makes
// the records' tables anew; a record without tables gets them either way. The
// platform objects are those of records[0].
void ScanControllers(int allocate, ControllerRecords& records);
void ScanControllers(int allocate, ControllerRecords& records, ScanOutcome* outcome);

// Reads one version text of the open controller. Success: out is the text and
// the report gets "label: text"; failure: out is "Unknown" and the report gets
// the "Error querying" line. No message box either way.
void QueryVersionText(ControllerInfo& controller, std::uint16_t table, std::uint8_t parameter,
                      std::uint8_t size, const char* label, std::array<char, 128>& out);

// Appends the record's display rows to ReportText, one tab-separated line
// each.
void WriteRowText(const ControllerInfo& record);

// The driver service's version text from the machine's registry; 0 when read,
// 1 otherwise (out is then unchanged).
int ReadServiceVersion(const platform::PlatformContext& context, std::array<char, 128>& out);

// Message boxes for the scan's errors are shown only while enabled (the main
// window enables them around its start-up and controller-choice scans).
bool ErrorBoxesEnabled();
void SetErrorBoxesEnabled(bool enabled);
// Shows text in an unowned error box captioned "Zelka Error Message" while
// error boxes are enabled; does nothing otherwise.
void ReportError(const platform::PlatformContext& context, const char* text);

}  // namespace kivo
