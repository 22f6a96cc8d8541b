// EventCatalogue: the fixed table of event bodies and the two help texts.
#include "monitor/EventCatalogue.h"

#include <cstdio>

#include "controller/TimeStamp.h"

namespace kivo {

const char* const FaultToleranceHelp =
    "Fault tolerant disk arrays become degraded or incomplete when they cannot write to or read from a "
    "member "
    "drive. The array's data may be read and new data may be written to the array. The array is NO LONGER "
    "FAULT "
    "TOLERANT.\r\n\r\n";

const char* const RecoveryOptionsHelp =
    " When an array is degraded or incomplete you have several options: \r\n\r\n"
    "1. If a HOT SPARE was previously configured it will automatically replace the degraded drive. Remove "
    "the "
    "degraded drive and add a new hot spare.\r\n\r\n"
    "2. For HOTPLUG REPLACEMENT, first remove the degraded drive and replace it with a new one by using the "
    "web "
    "interface. Choose the rebuild command to rebuild the array once the new drive has been added. Please "
    "refer to "
    "the hotplug help section in the web interface for detailed instructions.\r\n\r\n"
    "3. BRING THE SYSTEM DOWN and check cabling and connections. Reboot the system and attempt to REBUILD "
    "THE ARRAY "
    "using the Zelka Disk Array Configuration Utility BIOS extension. You may need to replace a faulty drive "
    "with a "
    "new one for the rebuild to succeed.\r\n\r\n"
    "4. DO NOTHING and continue operating with the array functional but not fault tolerant.\r\n\r\n";

namespace {

// Which values a body's "%d" placeholders take, in order.
enum class Arguments { kNone, kController, kUnitController, kCode };

struct EventRow {
  unsigned code;
  const char* body;
  Arguments arguments;
};

constexpr EventRow kRows[] = {
    {0, "Queue is empty. Nothing to report.", Arguments::kNone},
    {1, "Software has been reset on controller ID:%d.", Arguments::kController},
    {2, "Disk Array Unit %d on controller ID:%d is degraded and no longer fault tolerant.",
     Arguments::kUnitController},
    {3, "Controller ID:%d error.", Arguments::kController},
    {4, "Rebuild/Initialization failed on unit %d on controller ID:%d.", Arguments::kUnitController},
    {5, "Rebuild is complete on unit %d on controller ID:%d.", Arguments::kUnitController},
    {6, "Disk Array Unit %d on controller ID:%d is incomplete and no longer fault tolerant.",
     Arguments::kUnitController},
    {7, "Initialization is complete on unit %d on controller ID:%d.", Arguments::kUnitController},
    {8, "Unexpected shut down or power loss detected on unit %d on controller ID:%d.",
     Arguments::kUnitController},
    {9, "Drive timeout encountered on unit %d on controller ID:%d.", Arguments::kUnitController},
    {10, "Drive error encountered on unit %d on controller ID:%d.", Arguments::kUnitController},
    {11, "Rebuild started on unit %d on controller ID:%d.", Arguments::kUnitController},
    {12, "Initialization started on unit %d on controller ID:%d.", Arguments::kUnitController},
    {13, "Unit %d removed or deleted from controller ID:%d.", Arguments::kUnitController},
    {15, "SMART Threshold Exceeded condition detected on port %d on controller ID:%d.",
     Arguments::kUnitController},
    {33, "Drive cable CRC error detected on port %d on controller ID:%d.", Arguments::kUnitController},
    {34, "UDMA transfer speed upgraded on port %d on controller ID:%d.", Arguments::kUnitController},
    {35, "Drive sector ECC error corrected on port %d on controller ID:%d.", Arguments::kUnitController},
    {36, "Buffer integrity check failed on controller ID:%d.", Arguments::kController},
    {37, "Write cache error occurred after degrade on unit %d on controller ID:%d.",
     Arguments::kUnitController},
    {38, "An ECC data error occurred on port %d on controller ID:%d.", Arguments::kUnitController},
    {39,
     "Checksum failed for RAID configuration data on port %d on controller ID:%d.  Please contact Zelka tech "
     "support.",
     Arguments::kUnitController},
    {40, "Incorrect or incompatible RAID configuration data present on port %d on controller ID:%d.",
     Arguments::kUnitController},
    {41, "Verify started on unit %d on controller ID:%d.", Arguments::kUnitController},
    {42, "Verify failed on unit %d on controller ID:%d.", Arguments::kUnitController},
    {43, "Verify is complete on unit %d on controller ID:%d.", Arguments::kUnitController},
    {44, "Bad sector has been reallocated during rebuild on port %d on controller ID:%d.",
     Arguments::kUnitController},
    {45, "Bad sector detected on source drive of rebuild on port %d on controller ID:%d.",
     Arguments::kUnitController},
    {46, "Replacement Drive is smaller than original drive on port %d on controller ID:%d.",
     Arguments::kUnitController},
    {47,
     "Verify error on unit %d on controller ID %d because array has not been previously initialized.  The "
     "array is "
     "now automatically set to initializing state.",
     Arguments::kUnitController},
    {48, "Drive not supported on port %d on controller ID:%d. Drive is not UDAM 100/133.",
     Arguments::kUnitController},
    {255, "Queue is full.", Arguments::kNone},
};

constexpr EventRow kOtherRow = {256,
                                "AEN code:%d. You may need to update your version of Kivo. \r\nPlease see "
                                "web interface or help documentation "
                                "for more information.",
                                Arguments::kCode};

const EventRow& FindRow(unsigned code) {
  for (const EventRow& row : kRows) {
    if (row.code == code) return row;
  }
  return kOtherRow;
}

}  // namespace

std::string EventBody(unsigned code, unsigned unit, int controllerId) {
  const EventRow& row = FindRow(code);
  char body[512];
  // The formats are the table's own, never outside text.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  switch (row.arguments) {
    case Arguments::kNone:
      std::snprintf(body, sizeof body, "%s", row.body);
      break;
    case Arguments::kController:
      std::snprintf(body, sizeof body, row.body, controllerId);
      break;
    case Arguments::kUnitController:
      std::snprintf(body, sizeof body, row.body, static_cast<int>(unit), controllerId);
      break;
    case Arguments::kCode:
      std::snprintf(body, sizeof body, row.body, static_cast<int>(code));
      break;
  }
#pragma GCC diagnostic pop
  return body;
}

std::string DescribeEvent(platform::Clock& clock, unsigned code, unsigned unit, int controllerId) {
  TimeStamp stamp;
  stamp.Now(clock);
  std::string line = "TIME: ";
  line += stamp.Text();
  line += " MESSAGE: ";
  line += EventBody(code, unit, controllerId);
  if (code == 2 || code == 6) {
    line += " \r\n\r\n";
    line += FaultToleranceHelp;
    line += RecoveryOptionsHelp;
  } else {
    line += "\r\n";
  }
  return line;
}

}  // namespace kivo
