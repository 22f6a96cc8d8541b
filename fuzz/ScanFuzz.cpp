// Fuzz target of the inventory scan over arbitrary device replies: the
// built-in machine answers every device call, and the input decides, call by
// call, whether the call goes through, fails with a system error, or comes
// back with bytes of the reply overwritten. The scan must neither crash nor
// read or lay out more than its records hold, and its faces for scripts and
// monitoring (JSON, check, metrics) must agree on the units they count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "controller/ControllerInfo.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "report/InventoryScan.h"
#include "report/JsonReport.h"
#include "report/PluginCheck.h"
#include "report/PrometheusMetrics.h"
#include "report/ReportText.h"
#include "report/ScanSummary.h"

namespace {

using namespace kivo;

// Reads the input byte by byte; zeros once it is used up.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// After the first byte (one scan or two), the device calls of the scan, each
// passed through, failed or overwritten as the input says. Every open and
// every call takes one control byte. An open with low bits 3 fails with the
// error in the next byte. For a call the low two bits choose: 1 fails it with
// the system error in the next byte; 2 lets it through, then writes
// 1 + control / 16 bytes of the input over the reply at the offset the next
// two bytes give; 0 and 3 let it through.
class FuzzedDevice : public platform::DeviceIo {
 public:
  FuzzedDevice(platform::DeviceIo& real, Input& input) : real_(real), input_(input) {}

  platform::HANDLE CreateFileA(const char* name, platform::DWORD access, platform::DWORD share,
                               void* security, platform::DWORD disposition, platform::DWORD flags,
                               platform::HANDLE templateFile) override {
    if (input_.Byte() % 4 == 3) {
      platform::SetLastError(input_.Byte());
      return platform::INVALID_HANDLE_VALUE;
    }
    return real_.CreateFileA(name, access, share, security, disposition, flags, templateFile);
  }
  platform::BOOL DeviceIoControl(platform::HANDLE device, platform::DWORD code, void* in,
                                 platform::DWORD inSize, void* out, platform::DWORD outSize,
                                 platform::DWORD* returned, void* overlapped) override {
    const std::uint8_t control = input_.Byte();
    if (control % 4 == 1) {
      platform::SetLastError(input_.Byte());
      return platform::FALSE;
    }
    const platform::BOOL result =
        real_.DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    if (control % 4 == 2 && result && out != nullptr && outSize > 0) {
      std::size_t offset = (static_cast<std::size_t>(input_.Byte()) << 8 | input_.Byte()) % outSize;
      const std::size_t length = std::min<std::size_t>(1 + control / 16, outSize - offset);
      for (std::size_t i = 0; i < length; ++i) static_cast<std::uint8_t*>(out)[offset + i] = input_.Byte();
    }
    return result;
  }
  platform::BOOL CloseHandle(platform::HANDLE object) override { return real_.CloseHandle(object); }

 private:
  platform::DeviceIo& real_;
  Input& input_;
};

class LinuxHost : public platform::HostFacts {
 public:
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* info) override {
    info->dwPlatformId = platform::VER_PLATFORM_LINUX;
    return platform::TRUE;
  }
  platform::BOOL GetComputerNameA(char*, platform::DWORD*) override { return platform::FALSE; }
  std::string NativeDescription() override { return "fuzz host"; }
};

// Time stands still; the open's waits for a starting driver pass at once.
class StillClock : public platform::Clock {
 public:
  std::time_t Now() override { return 0; }
  bool Sleep(std::uint32_t, const platform::StopSignal* = nullptr) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static emulator::World* world = [] {
    auto* built = new emulator::World;
    emulator::BuildDefaultWorld(*built);
    built->recordRequests = false;
    return built;
  }();
  static LinuxHost host;
  static StillClock clock;
  emulator::InProcessDeviceIo real(*world);
  Input input(data, size);
  FuzzedDevice device(real, input);
  platform::PlatformContext context;
  context.clock = &clock;
  context.host = &host;
  context.device = &device;

  auto records = std::make_unique<ControllerRecords>(context);
  ScanOutcome outcome;
  // The first byte's low bit asks for a second scan, which reuses the
  // records the first one filled.
  const int scans = 1 + (input.Byte() & 1);
  for (int scan = 0; scan < scans; ++scan) {
    const int allocate = scan == 0 ? 1 : 0;
    ScanControllers(allocate, *records, &outcome);
    if (outcome.controllerCount < 0 || outcome.controllerCount > kMaxControllers) std::abort();
    for (int i = 0; i < ControllerRecords::kCount; ++i) {
      const ControllerInfo& record = (*records)[i];
      if (record.rowCount < 0 || record.rowCount > kDisplayRows) std::abort();
      if (!record.HasTables() && record.rowCount != 0) std::abort();
    }
    for (const ScanOutcome::CallFailure& failure : outcome.callFailures) {
      if (failure.calls <= 0) std::abort();
    }
    const ScanSummary summary = ScanSummary::Of(*records, outcome);
    const std::string json = JsonReport::Render(summary);
    const CheckResult check = PluginCheck::Of(summary);
    const std::string metrics = PrometheusMetrics::Render(*records, outcome);
    if (json.empty() || json.back() != '\n' || check.line.find(" | controllers=") == std::string::npos)
      std::abort();
    // An incomplete scan is never OK, and a unit that needs attention is never missed.
    if (!summary.Complete() && check.status == CheckStatus::kOk) std::abort();
    if (summary.AttentionCount() > 0 && (check.status == CheckStatus::kOk || summary.ExitStatus() != 2))
      std::abort();
    if ((metrics.find("kivo_scan_success 1\n") != std::string::npos) != summary.Complete()) std::abort();
  }
  if (real.OpenHandles() != 0) std::abort();  // every opened device is closed again
  ReportText().Clear();
  return 0;
}
