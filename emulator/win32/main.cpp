// zelka-emulator.exe: plays the Zelka driver's devices on named pipes and the
// background service on the ncalrpc endpoint "KIVO" for the utility on
// Windows. Runs in the foreground until Ctrl+C, the console closes or the
// service is asked to shut down; options in emulator/README.md.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "emulator/AlarmsPage.h"
#include "emulator/ControlServer.h"
#include "emulator/DeviceServer.h"
#include "emulator/EmulatorMain.h"
#include "emulator/World.h"
#include "emulator/WorldFile.h"
#include "emulator/win32/ServiceServer.h"
#include "platform/Registry.h"
#include "platform/StopRequest.h"

namespace {

using namespace kivo::emulator;

void PrintUsage(std::FILE* to) {
  std::fprintf(
      to,
      "usage: zelka-emulator [--world FILE] [--pipe PREFIX] [--http-port PORT]\n"
      "       zelka-emulator ctl [--pipe PREFIX] COMMAND ...\n"
      "  --world FILE    the machine to emulate (default: the built-in world)\n"
      "  --pipe PREFIX   device and control pipes (default: $KIVO_DEVICE_PIPE, \\\\.\\pipe\\zelka\\)\n"
      "  --http-port PORT  the alarms page on 127.0.0.1 (default: the \"HTTP\" \"Port\" setting, else 1080;\n"
      "                    0: any free port)\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "ctl") == 0) {
    return RunControlClient(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
  }
  std::string worldFile;
  std::string prefix = DefaultPipePrefix();
  std::string httpPort;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if ((argument == "--world" || argument == "--pipe" || argument == "--http-port") && i + 1 < argc &&
        argv[i + 1][0] != '\0') {
      (argument == "--world" ? worldFile : argument == "--pipe" ? prefix : httpPort) = argv[++i];
      continue;
    }
    std::fprintf(stderr, "zelka-emulator: bad option %s\n", argv[i]);
    PrintUsage(stderr);
    return 2;
  }

  World world;
  if (worldFile.empty()) {
    BuildDefaultWorld(world);
  } else if (std::string error; !LoadWorldFile(worldFile, world, &error)) {
    std::fprintf(stderr, "zelka-emulator: %s\n", error.c_str());
    return 2;
  }

  kivo::platform::StopRequest stopRequest;
  DeviceServer devices(world, prefix);
  ServiceServer service(world);
  service.SetShutdownHandler([&stopRequest] { stopRequest.Raise(); });
  ControlServer control(world, &service);
  std::string error;
  if (!devices.Start(&error) || !service.Start(&error) || !control.Start(prefix, &error)) {
    std::fprintf(stderr, "zelka-emulator: %s\n", error.c_str());
    return 1;
  }
  AlarmsPage alarmsPage(world);
  const long port = AlarmsPagePort(httpPort, [] { return kivo::platform::MakeSystemRegistry(); });
  if (port < 0) {
    std::fprintf(stderr, "zelka-emulator: --http-port needs a port 0..65535\n");
    return 2;
  }
  StartAlarmsPage(alarmsPage, static_cast<std::uint16_t>(port));

  ReportReady();
  stopRequest.Wait();

  alarmsPage.Stop();
  control.Stop();
  service.Stop();
  devices.Stop();
  return 0;
}
