// The wording of a controller's coded answers: sizes, unit states, RAID
// configurations, stripe sizes, and the display row of one drive. Used by the
// inventory scan; the texts are the ones the user reads in the unit view and
// in the disk information report.
#pragma once

#include <array>
#include <cstdint>

#include "controller/ControllerInfo.h"

namespace kivo {

using StatusTextBuffer = std::array<char, 128>;

// The drive tables start at this id; the table of port p is 0x200 + p.
constexpr std::uint16_t kDriveTableBase = 0x200;
// A member entry (and a single-drive descriptor read as one) is 12 bytes.
constexpr int kMemberEntrySize = 12;
// The port number of a drive the controller cannot reach.
constexpr std::uint8_t kPortInaccessible = 0xFF;

// Decimal megabytes below 1953126 sectors, decimal gigabytes from there on,
// with two truncated decimals: "40.02 GB", "1000.00 MB".
void CapacityText(std::uint32_t sectors, StatusTextBuffer& out);
// "OK", "Initializing", or the state word followed by " Incomplete" and
// " Offline" as the completeness and online bits say.
void UnitStatusText(std::uint8_t status, StatusTextBuffer& out);
// The configuration text of a unit type code, with the stripe text where the
// configuration is striped.
void RaidTypeText(std::uint8_t typeCode, std::uint8_t stripeCode, StatusTextBuffer& out);
// Stripe code n stands for 2^(n-1) KB: "4K" .. "32M".
void StripeText(std::uint8_t stripeCode, StatusTextBuffer& out);

// The drive fields of a 12-byte member entry, or of a single-drive unit's
// descriptor read as one: port (byte 2), member index (byte 3), the size in
// sectors recorded for the member (offset 8).
struct DriveEntry {
  std::uint8_t port = 0;
  std::uint8_t index = 0;
  std::uint32_t sectors = 0;
  static DriveEntry From(const std::uint8_t* entry);
};

// A drive's own description as its table gives it: the model with the blank
// padding at its end removed, the serial number, the size in sectors. Each
// says whether the controller answered it.
struct DriveIdentity {
  StatusTextBuffer model{};
  StatusTextBuffer serial{};
  std::uint32_t sectors = 0;
  bool modelRead = false;
  bool serialRead = false;
  bool sizeRead = false;
};

// Reads model, serial and size (in this order) from the table of `port`.
DriveIdentity ReadDriveIdentity(ControllerInfo& controller, std::uint16_t driveTableBase, std::uint8_t port);

// Whether the member's bit in the unit's not-in-service map is set: only
// mirrors (2), RAID 5 and RAID 10 carry the map; a RAID 10 member's bit
// counts two per subunit before it (8-bit sum, as the controller counts).
bool MemberOutOfService(std::uint8_t typeCode, std::uint8_t notInServiceMap, std::uint8_t memberIndex,
                        int subunitIndex);

// Fills the name, model, serial, size, sectors and status texts of one drive
// row from its entry and the identity read for it (none for a drive whose
// port is 0xFF: it is inaccessible). A read that failed shows "Unknown".
void WriteDriveRow(std::uint8_t typeCode, std::uint8_t notInServiceMap, const DriveEntry& entry,
                   const DriveIdentity* identity, DisplayRow& row, int subunitIndex);

// Reads the drive and fills its row: ReadDriveIdentity, then WriteDriveRow.
// `entry` is a 12-byte member entry (or a single-drive descriptor padded to
// 12 bytes). A drive whose port is 0xFF is inaccessible and nothing is asked
// of the controller.
void FillDriveRow(std::uint16_t driveTableBase, std::uint8_t typeCode, std::uint8_t notInServiceMap,
                  const std::uint8_t* entry, DisplayRow& row, ControllerInfo& controller, int subunitIndex);

// Copies a NUL-terminated text into a 128-character field, cut to 127.
void CopyText(StatusTextBuffer& out, const char* text);
// Appends to a 128-character field, cut to 127.
void AppendText(StatusTextBuffer& out, const char* text);

}  // namespace kivo
