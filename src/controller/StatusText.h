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

// Fills the name, model, serial, size, sectors and status texts of one drive
// row. `entry` is a 12-byte member entry (or a single-drive descriptor padded
// to 12 bytes); only its port (byte 2), member index (byte 3) and size in
// sectors (offset 8) are used. The model, serial and size are read from the
// open controller; a read that fails shows "Unknown" in its text. A drive
// whose port is 0xFF is inaccessible and nothing is asked of the controller.
void FillDriveRow(std::uint16_t driveTableBase, std::uint8_t typeCode, std::uint8_t notInServiceMap,
                  const std::uint8_t* entry, DisplayRow& row, ControllerInfo& controller, int subunitIndex);

// Copies a NUL-terminated text into a 128-character field, cut to 127.
void CopyText(StatusTextBuffer& out, const char* text);
// Appends to a 128-character field, cut to 127.
void AppendText(StatusTextBuffer& out, const char* text);

}  // namespace kivo
