// ControllerInfo: version texts and the scan's tables of one controller.
#include "controller/ControllerInfo.h"

#include <cstring>

namespace kivo {
namespace {

void SetText(std::array<char, 128>& field, const char* text) {
  if (text == nullptr) text = "";
  std::size_t n = 0;
  while (n + 1 < field.size() && text[n] != '\0') {
    field[n] = text[n];
    ++n;
  }
  field[n] = '\0';
}

}  // namespace

ControllerInfo::ControllerInfo(const platform::PlatformContext& context) : ControllerSet(context) {}

ControllerInfo::~ControllerInfo() = default;

void ControllerInfo::SetMonitorText(const char* text) {
  SetText(monitorText_, text);
}
void ControllerInfo::SetFirmwareText(const char* text) {
  SetText(firmwareText_, text);
}
void ControllerInfo::SetBiosText(const char* text) {
  SetText(biosText_, text);
}
void ControllerInfo::SetAChipText(const char* text) {
  SetText(aChipText_, text);
}
void ControllerInfo::SetPChipText(const char* text) {
  SetText(pChipText_, text);
}
void ControllerInfo::SetModelText(const char* text) {
  SetText(modelText_, text);
}
void ControllerInfo::SetPcbaText(const char* text) {
  SetText(pcbaText_, text);
}

void ControllerInfo::AllocateTables() {
  // Value-initialised: every slot and row starts zero-filled.
  unitSlots_ = std::make_unique<UnitSlot[]>(kUnitSlots);
  rows_ = std::make_unique<DisplayRow[]>(kDisplayRows);
}

}  // namespace kivo
