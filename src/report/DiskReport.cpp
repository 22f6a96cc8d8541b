// The report header, the host fallback text and MachineInfo; see DiskReport.h.
#include "report/DiskReport.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "controller/HostInfo.h"
#include "controller/TimeStamp.h"
#include "platform/HostFacts.h"
#include "report/ProgramVersion.h"
#include "report/ReportText.h"

namespace kivo {
namespace {

template <std::size_t N>
void CopyField(std::array<char, N>& field, const char* text) {
  std::snprintf(field.data(), field.size(), "%s", text != nullptr ? text : "");
}

// The version numbers print as the signed 32-bit values they are.
long Signed(platform::DWORD value) {
  return static_cast<long>(static_cast<platform::LONG>(value));
}

}  // namespace

void MachineInfoRecord::SetOsText(const char* text) {
  CopyField(osText, text);
}

std::int32_t MachineInfoRecord::ControllerIdAt(int index) const {
  if (index < 0 || index >= controllerCount || index >= static_cast<int>(controllerIds.size())) return -1;
  return controllerIds[static_cast<std::size_t>(index)];
}

void MachineInfoRecord::Reset() {
  *this = MachineInfoRecord{};
}

MachineInfoRecord& MachineInfo() {
  static MachineInfoRecord instance;
  return instance;
}

const char* TakeTimeText(const platform::PlatformContext& context) {
  TimeStamp stamp;
  stamp.Now(*context.clock);
  CopyField(MachineInfo().timeText, stamp.Text());
  return MachineInfo().TimeText();
}

const char* ReadComputerName(const platform::PlatformContext& context) {
  std::array<char, 16> name{};
  platform::DWORD size = static_cast<platform::DWORD>(name.size());
  if (context.host != nullptr && context.host->GetComputerNameA(name.data(), &size) != platform::FALSE) {
    name.back() = '\0';
    CopyField(MachineInfo().computerName, name.data());
  }
  return MachineInfo().ComputerName();
}

void FallbackOsText(const platform::PlatformContext& context) {
  platform::OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  std::array<char, 512> text{};
  bool warning = false;
  if (context.host == nullptr || context.host->GetVersionExA(&info) == platform::FALSE) {
    CopyField(text, "Unable to determine operating system version\r\n");
  } else {
    long major = Signed(info.dwMajorVersion);
    long minor = Signed(info.dwMinorVersion);
    long build = Signed(info.dwBuildNumber);
    long lowBuild = static_cast<long>(info.dwBuildNumber & 0xFFFF);
    std::snprintf(text.data(), text.size(),
                  "Operating System Info: major %ld minor %ld build %ld platform %ld\r\n", major, minor,
                  build, Signed(info.dwPlatformId));
    std::string line = text.data();
    switch (info.dwPlatformId) {
      case platform::VER_PLATFORM_WIN32s:
        line += "Microsoft Windows 3.1 (Win32s)";
        break;
      case platform::VER_PLATFORM_WIN32_WINDOWS:
        if (minor == 0) {
          std::snprintf(text.data(), text.size(), "Microsoft Windows 95 %ld.%02ld (Build %ld)", major, 0L,
                        lowBuild);
          line = text.data();
          warning = true;
        } else if (minor == 10) {
          std::snprintf(text.data(), text.size(), "Microsoft Windows 98 %ld.%02ld.%ld", major, 10L, lowBuild);
          line = text.data();
        } else if (minor == 90) {
          std::snprintf(text.data(), text.size(), "Microsoft Windows ME %ld.%02ld.%ld", major, 90L, lowBuild);
          line = text.data();
        } else {
          line += "Microsoft Windows";
        }
        break;
      case platform::VER_PLATFORM_WIN32_NT:
        if (major == 5) {
          std::snprintf(text.data(), text.size(), "Microsoft Windows 2000 (%ld.%ld Build %ld)", 5L, minor,
                        build);
        } else {
          std::snprintf(text.data(), text.size(), "Microsoft Windows NT %ld.%ld (Build %ld)", major, minor,
                        build);
        }
        line = text.data();
        break;
      default:
        line += "Microsoft Windows";
        break;
    }
    info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
    if (info.szCSDVersion[0] != '\0') {
      line += " ";
      line += info.szCSDVersion;
    }
    CopyField(text, line.c_str());
  }
  MachineInfo().SetOsText(text.data());
  TextBuffer& report = ReportText();
  report.Append(text.data());
  if (warning)
    report.Append(
        "\r\n\r\n!!! IMPORTANT:  This program is not yet fully "
        "functional on this platform!!!\r\n");
  report.Append("\r\n\r\n");
}

void BuildReportHeader(const platform::PlatformContext& context) {
  TextBuffer& report = ReportText();
  report.Assign("Kivo Disk Management Utility");
  report.Append(" ");
  report.Append(ProgramVersionText());
  report.Append(" ");
  report.Append(kLegalNotice);
  report.Append("\r\n");

  TimeStamp stamp;
  stamp.Now(*context.clock);
  report.Append("Zelka Disk information gathered at ");
  report.Append(stamp.Text());
  report.Append("\r\n");
  TakeTimeText(context);

  bool described = false;
  if (context.host != nullptr && context.registry != nullptr) {
    HostInfo host(*context.host, *context.registry);
    if (host.Build() == 0) {
      MachineInfo().SetOsText(host.Description());
      report.Append(host.Description());
      report.Append("\r\n\r\n");
      described = true;
    }
  }
  if (!described) FallbackOsText(context);

  ReadComputerName(context);
  report.Append("Computer Name: ");
  report.Append(MachineInfo().ComputerName());
  report.Append("\r\n\r\n");
}

int CollectControllerIds(ControllerRecords& records) {
  ControllerInfo& first = records[0];
  first.Initialise();
  MachineInfoRecord& machine = MachineInfo();
  int count = first.ControllerCount();
  if (count < 0) count = 0;
  if (count > static_cast<int>(machine.controllerIds.size()))
    count = static_cast<int>(machine.controllerIds.size());
  machine.controllerCount = count;
  for (int i = 0; i < count; ++i)
    machine.controllerIds[static_cast<std::size_t>(i)] = first.ControllerIdAt(i);
  return 0;
}

}  // namespace kivo
