// ControllerInfo: the information record of one controller, a ControllerSet
// extended with its seven version texts, the scan's unit slots and the display
// rows that the main window lists and the report prints.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "controller/ControllerSet.h"

namespace kivo {

constexpr int kUnitSlots = 16;
constexpr int kDisplayRows = 64;

struct UnitSlot {
  std::int32_t present;
  std::int32_t unitNumber;
  std::uint8_t status;
  std::uint32_t capacity;
  const std::uint8_t* descriptor;  // owned by the scan, valid while it runs
};

// One line of the unit and drive view.
struct DisplayRow {
  std::int32_t kind;         // 1 array unit or member, 6 RAID 10 subunit, 0 one-drive unit
  std::int32_t isArrayUnit;  // 1 on an array unit's row
  std::array<char, 128> typeText;
  std::array<char, 128> serialText;
  std::array<char, 128> sizeText;
  std::array<char, 128> statusText;
  std::array<char, 128> sectorsText;
  std::array<char, 128> nameText;
};
static_assert(sizeof(DisplayRow) == 776);

class ControllerInfo : public ControllerSet {
 public:
  explicit ControllerInfo(const platform::PlatformContext& context);
  ~ControllerInfo() override;

  const char* MonitorText() const { return monitorText_.data(); }
  const char* FirmwareText() const { return firmwareText_.data(); }
  const char* BiosText() const { return biosText_.data(); }
  const char* AChipText() const { return aChipText_.data(); }
  const char* PChipText() const { return pChipText_.data(); }
  const char* ModelText() const { return modelText_.data(); }
  const char* PcbaText() const { return pcbaText_.data(); }
  void SetMonitorText(const char* text);
  void SetFirmwareText(const char* text);
  void SetBiosText(const char* text);
  void SetAChipText(const char* text);
  void SetPChipText(const char* text);
  void SetModelText(const char* text);
  void SetPcbaText(const char* text);

  // Tables, created zero-filled by the scan (allocate flag or first scan).
  bool HasTables() const { return unitSlots_ != nullptr && rows_ != nullptr; }
  void AllocateTables();
  UnitSlot* UnitSlots() { return unitSlots_.get(); }
  DisplayRow* Rows() { return rows_.get(); }
  const DisplayRow* Rows() const { return rows_.get(); }

  std::int32_t rowCount = 0;

 private:
  std::unique_ptr<UnitSlot[]> unitSlots_;
  std::unique_ptr<DisplayRow[]> rows_;
  std::array<char, 128> monitorText_{};
  std::array<char, 128> firmwareText_{};
  std::array<char, 128> biosText_{};
  std::array<char, 128> aChipText_{};
  std::array<char, 128> pChipText_{};
  std::array<char, 128> modelText_{};
  std::array<char, 128> pcbaText_{};
};

}  // namespace kivo

namespace kivo {

// The main window's 32 records (record i describes the i-th controller found).
class ControllerRecords {
 public:
  static constexpr int kCount = 32;
  explicit ControllerRecords(const platform::PlatformContext& context) {
    for (auto& record : records_) record = std::make_unique<ControllerInfo>(context);
  }
  ControllerInfo& operator[](int index) { return *records_[static_cast<std::size_t>(index)]; }
  const ControllerInfo& operator[](int index) const { return *records_[static_cast<std::size_t>(index)]; }

 private:
  std::array<std::unique_ptr<ControllerInfo>, kCount> records_;
};

}  // namespace kivo
