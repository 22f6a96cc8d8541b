// Status and configuration wording; see StatusText.h.
#include "controller/StatusText.h"

#include <cstdio>
#include <cstring>

namespace kivo {
namespace {

// 1953126 sectors are the first size of more than 10^9 bytes.
constexpr std::uint32_t kGigabyteThreshold = 1953126;

const char* StateWord(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0x00:
      return "Not Present";
    case 0xB0:
      return "Corrupt";
    case 0xC0:
      return "Verifying";
    case 0xD0:
      return "Rebuilding";
    case 0xE0:
      return "Degraded";
    case 0xF0:
      return "Normal";
    default:
      return "Unknown status";
  }
}

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads a text parameter of `size` bytes; the text ends at its first zero
// byte or after the bytes read. False when the controller refuses the read.
bool ReadTextParameter(ControllerInfo& controller, std::uint16_t table, std::uint8_t parameter,
                       std::uint8_t size, StatusTextBuffer& out) {
  std::array<char, 256> bytes{};
  if (controller.GetParameter(table, parameter, size, bytes.data()) != 0) return false;
  std::size_t length = 0;
  while (length < size && bytes[length] != '\0') ++length;
  if (length > out.size() - 1) length = out.size() - 1;
  std::memcpy(out.data(), bytes.data(), length);
  out[length] = '\0';
  return true;
}

}  // namespace

void CopyText(StatusTextBuffer& out, const char* text) {
  std::snprintf(out.data(), out.size(), "%s", text != nullptr ? text : "");
}

void AppendText(StatusTextBuffer& out, const char* text) {
  std::size_t used = ::strnlen(out.data(), out.size() - 1);
  out[used] = '\0';
  std::snprintf(out.data() + used, out.size() - used, "%s", text != nullptr ? text : "");
}

void CapacityText(std::uint32_t sectors, StatusTextBuffer& out) {
  std::uint64_t bytes = static_cast<std::uint64_t>(sectors) * 512u;
  std::uint64_t q = 0;
  const char* unit = nullptr;
  if (sectors >= kGigabyteThreshold) {
    q = bytes / 10000000u;
    unit = " GB";
  } else {
    q = bytes / 10000u;
    unit = " MB";
  }
  std::snprintf(out.data(), out.size(), "%llu.%02llu%s", static_cast<unsigned long long>(q / 100),
                static_cast<unsigned long long>(q % 100), unit);
}

void UnitStatusText(std::uint8_t status, StatusTextBuffer& out) {
  if (status == 0xFF) {
    CopyText(out, "OK");
    return;
  }
  if (status == 0xF7) {
    CopyText(out, "Initializing");
    return;
  }
  CopyText(out, StateWord(status));
  if ((status & 0x02) == 0) {
    // A "Normal" class unit that is not complete is only incomplete.
    if ((status & 0xF0) == 0xF0) {
      CopyText(out, " Incomplete");
    } else {
      AppendText(out, " Incomplete");
    }
  }
  if ((status & 0x01) == 0) AppendText(out, " Offline");
}

void StripeText(std::uint8_t stripeCode, StatusTextBuffer& out) {
  static constexpr const char* kStripes[] = {"4K",   "8K",    "16K", "32K", "64K", "128K", "256K",
                                             "512K", "1024K", "2M",  "4M",  "8M",  "16M",  "32M"};
  if (stripeCode >= 3 && stripeCode <= 16) {
    CopyText(out, kStripes[stripeCode - 3]);
  } else {
    std::snprintf(out.data(), out.size(), "2^%i-1 K", static_cast<int>(stripeCode));
  }
}

void RaidTypeText(std::uint8_t typeCode, std::uint8_t stripeCode, StatusTextBuffer& out) {
  // Stripe texts are at most nine characters ("2^255-1 K").
  StatusTextBuffer stripe{};
  StripeText(stripeCode, stripe);
  switch (typeCode) {
    case 0:
      std::snprintf(out.data(), out.size(), "Striped %.16s (RAID 0)", stripe.data());
      break;
    case 1:
    case 2:
      CopyText(out, "Mirror (RAID 1)");
      break;
    case 5:
      std::snprintf(out.data(), out.size(), "Striped with Parity %.16s (RAID 5)", stripe.data());
      break;
    case 6:
      std::snprintf(out.data(), out.size(), "Striped Mirrors %.16s (RAID 10)", stripe.data());
      break;
    default:
      std::snprintf(out.data(), out.size(), "Unsupported Configuration - Upgrade Kivo (%i)",
                    static_cast<int>(typeCode));
      break;
  }
}

DriveEntry DriveEntry::From(const std::uint8_t* entry) {
  return DriveEntry{entry[2], entry[3], ReadLe32(entry + 8)};
}

DriveIdentity ReadDriveIdentity(ControllerInfo& controller, std::uint16_t driveTableBase, std::uint8_t port) {
  DriveIdentity identity;
  auto table = static_cast<std::uint16_t>(driveTableBase + port);
  identity.modelRead = ReadTextParameter(controller, table, 3, 40, identity.model);
  if (identity.modelRead) {
    std::size_t length = std::strlen(identity.model.data());
    while (length > 0 && IsBlank(identity.model[length - 1])) identity.model[--length] = '\0';
  }
  identity.serialRead = ReadTextParameter(controller, table, 4, 20, identity.serial);
  std::array<std::uint8_t, 4> size{};
  identity.sizeRead = controller.GetParameter(table, 2, 4, size.data()) == 0;
  if (identity.sizeRead) identity.sectors = ReadLe32(size.data());
  return identity;
}

bool MemberOutOfService(std::uint8_t typeCode, std::uint8_t notInServiceMap, std::uint8_t memberIndex,
                        int subunitIndex) {
  if (typeCode != 2 && typeCode != 5 && typeCode != 6) return false;
  auto bit = static_cast<std::uint8_t>(memberIndex + 2 * subunitIndex);
  return bit < 8 && (notInServiceMap >> bit & 1) != 0;
}

void WriteDriveRow(std::uint8_t typeCode, std::uint8_t notInServiceMap, const DriveEntry& entry,
                   const DriveIdentity* identity, DisplayRow& row, int subunitIndex) {
  if (typeCode == 2 || typeCode == 5 || typeCode == 6) {
    const bool outOfService = MemberOutOfService(typeCode, notInServiceMap, entry.index, subunitIndex);
    CopyText(row.statusText, outOfService ? "Not in Service" : " ");
  }
  if (entry.port == kPortInaccessible || identity == nullptr) {
    CopyText(row.nameText, "    Drive Inaccessible");
    CopyText(row.sizeText, " ");
    CopyText(row.typeText, " ");
    CopyText(row.statusText, "Error");
    return;
  }
  std::snprintf(row.nameText.data(), row.nameText.size(), typeCode == 15 ? "Port %d" : "    Port %d",
                static_cast<int>(entry.port));
  CopyText(row.typeText, identity->modelRead ? identity->model.data() : "Unknown");
  CopyText(row.serialText, identity->serialRead ? identity->serial.data() : "Unknown");
  if (identity->sizeRead) {
    CapacityText(identity->sectors, row.sizeText);
  } else {
    CopyText(row.sizeText, "Unknown");
  }
  std::snprintf(row.sectorsText.data(), row.sectorsText.size(), "%u", static_cast<unsigned>(entry.sectors));
}

void FillDriveRow(std::uint16_t driveTableBase, std::uint8_t typeCode, std::uint8_t notInServiceMap,
                  const std::uint8_t* entry, DisplayRow& row, ControllerInfo& controller, int subunitIndex) {
  const DriveEntry drive = DriveEntry::From(entry);
  if (drive.port == kPortInaccessible) {
    WriteDriveRow(typeCode, notInServiceMap, drive, nullptr, row, subunitIndex);
    return;
  }
  const DriveIdentity identity = ReadDriveIdentity(controller, driveTableBase, drive.port);
  WriteDriveRow(typeCode, notInServiceMap, drive, &identity, row, subunitIndex);
}

}  // namespace kivo
