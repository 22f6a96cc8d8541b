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

#include "emulator/World.h"
#include "emulator/WorldFile.h"
#include "emulator/win32/AlarmsPage.h"
#include "emulator/win32/ControlServer.h"
#include "emulator/win32/DeviceServer.h"
#include "emulator/win32/ServiceServer.h"
#include "mail/SettingsStore.h"
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
  // Without the page the devices and the service still serve: a busy port
  // is reported and the emulator goes on.
  AlarmsPage alarmsPage(world);
  long port = -1;
  if (httpPort.empty()) {
    port = static_cast<long>(kivo::ReadHttpPort(*kivo::platform::MakeSystemRegistry()));
  } else {
    char* end = nullptr;
    port = std::strtol(httpPort.c_str(), &end, 10);
    if (end == nullptr || *end != '\0') port = -1;
  }
  if (port < 0 || port > 65535) {
    std::fprintf(stderr, "zelka-emulator: --http-port needs a port 0..65535\n");
    return 2;
  }
  if (alarmsPage.Start(static_cast<std::uint16_t>(port), &error)) {
    std::fprintf(stderr, "zelka-emulator: alarms page at http://127.0.0.1:%u/alarms.html\n",
                 static_cast<unsigned>(alarmsPage.Port()));
  } else {
    std::fprintf(stderr, "zelka-emulator: %s (continuing without the alarms page)\n", error.c_str());
  }

  std::fprintf(stderr, "zelka-emulator: ready\n");
  std::fflush(stderr);
  stopRequest.Wait();

  alarmsPage.Stop();
  control.Stop();
  service.Stop();
  devices.Stop();
  return 0;
}
