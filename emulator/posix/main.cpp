// zelka-emulator: plays the Zelka driver's devices (and, in their own blocks,
// the background service and the alarms page) for the utility. Runs in the
// foreground until SIGTERM or SIGINT; options in emulator/README.md.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

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
#include "emulator/posix/ServiceServer.h"
#include "platform/DeviceIo.h"
#include "platform/Registry.h"
#include "platform/ServiceRpc.h"
#include "platform/posix/RpcSocket.h"

namespace {

using namespace kivo::emulator;

struct Options {
  std::string worldFile;  // empty: the built-in world
  std::string deviceDirectory;
  std::string rpcDirectory;
  std::string httpPort;  // alarms page; empty: the "HTTP" "Port" setting, else 1080
};

void PrintUsage(std::FILE* to) {
  std::fprintf(
      to,
      "usage: zelka-emulator [--world FILE] [--device-dir DIR] [--rpc-dir DIR] [--http-port PORT]\n"
      "  --world FILE       the machine to emulate (default: the built-in world)\n"
      "  --device-dir DIR   device sockets (default: $KIVO_DEVICE_DIR, $XDG_RUNTIME_DIR/zelka)\n"
      "  --rpc-dir DIR      service endpoint (default: $KIVO_RPC_DIR, $XDG_RUNTIME_DIR/kivo/ncalrpc)\n"
      "  --http-port PORT   alarms page on 127.0.0.1 (default: the \"HTTP\" \"Port\" setting, else 1080;\n"
      "                     0: any free port)\n");
}

// Accepts "--name VALUE" and "--name=VALUE". 0 on success, 2 on bad options,
// 1 when help was asked for.
int ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") return 1;
    std::string value;
    bool hasValue = false;
    if (auto equals = argument.find('='); argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.erase(equals);
      hasValue = true;
    }
    std::string* target = nullptr;
    if (argument == "--world") target = &options.worldFile;
    if (argument == "--device-dir") target = &options.deviceDirectory;
    if (argument == "--rpc-dir") target = &options.rpcDirectory;
    if (argument == "--http-port") target = &options.httpPort;
    if (target == nullptr) {
      std::fprintf(stderr, "zelka-emulator: unknown option %s\n", argv[i]);
      return 2;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "zelka-emulator: %s needs a value\n", argument.c_str());
        return 2;
      }
      value = argv[++i];
    }
    if (value.empty()) {
      std::fprintf(stderr, "zelka-emulator: %s needs a value\n", argument.c_str());
      return 2;
    }
    *target = value;
  }
  if (options.deviceDirectory.empty()) options.deviceDirectory = kivo::platform::DefaultDeviceDirectory();
  if (options.rpcDirectory.empty()) options.rpcDirectory = kivo::platform::DefaultRpcDirectory();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // ---- Control command: `zelka-emulator ctl ...` talks to a running emulator. ----
  if (argc > 1 && std::strcmp(argv[1], "ctl") == 0) {
    return RunControlClient(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
  }

  Options options;
  if (int parsed = ParseOptions(argc, argv, options); parsed != 0) {
    PrintUsage(parsed == 1 ? stdout : stderr);
    return parsed == 1 ? 0 : 2;
  }

  World world;
  if (options.worldFile.empty()) {
    BuildDefaultWorld(world);
  } else if (std::string error; !LoadWorldFile(options.worldFile, world, &error)) {
    std::fprintf(stderr, "zelka-emulator: %s\n", error.c_str());
    return 2;
  }

  // SIGTERM and SIGINT are taken by sigwait below, so every thread started
  // from here on has them blocked. A server that must end the program (the
  // service's shutdown procedure) sends SIGTERM to the process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // ---- Device side: the driver's devices. ----
  DeviceServer devices(world, options.deviceDirectory);
  if (std::string error; !devices.Start(&error)) {
    std::fprintf(stderr, "zelka-emulator: %s\n", error.c_str());
    return 1;
  }

  // ---- Service side: the service's RPC endpoint and the control socket. ----
  ServiceServer service(world, options.rpcDirectory);
  service.SetShutdownHandler([] { kill(getpid(), SIGTERM); });
  ControlServer control(world, &service);
  if (std::string error; !service.Start(&error) || !control.Start(options.rpcDirectory, &error)) {
    std::fprintf(stderr, "zelka-emulator: %s\n", error.c_str());
    service.Stop();
    devices.Stop();
    return 1;
  }
  // ---- End of the service side. ----

  // ---- Alarms page: the web interface's /alarms.html on loopback. ----
  AlarmsPage alarmsPage(world);
  const long port = AlarmsPagePort(options.httpPort, [] {
    return kivo::platform::MakeFileRegistry(kivo::platform::DefaultRegistryDirectory());
  });
  if (port < 0) {
    std::fprintf(stderr, "zelka-emulator: --http-port needs a port 0..65535\n");
    control.Stop();
    service.Stop();
    devices.Stop();
    return 2;
  }
  StartAlarmsPage(alarmsPage, static_cast<std::uint16_t>(port));
  // ---- End of the alarms page. ----

  ReportReady();
  int received = 0;
  sigwait(&stopSignals, &received);

  alarmsPage.Stop();  // alarms page
  control.Stop();     // service side
  service.Stop();     // service side
  devices.Stop();
  return 0;
}
