// DeviceServer: serves a World's devices ("Scsi<id>:" per controller, or
// "ZELKAVSD") with the framing of platform/DeviceIo.h: on Linux as Unix-domain
// stream sockets in a device directory, all connections on one event-loop
// thread; on Windows as named pipes under a prefix, one thread per connection.
// Used by zelka-emulator and by tests that need real endpoints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

class PipeConnection;
class PipeServer;

class DeviceServer {
 public:
  // The world must outlive the server. `endpoint` is the device directory on
  // Linux, the pipe prefix (e.g. "\\.\pipe\zelka\") on Windows.
  DeviceServer(World& world, std::string endpoint);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // One endpoint per device the world presents (on Linux the directory is
  // made with mode 0700 when missing). A device with open fault 2 gets none;
  // one with any other open fault gets one that refuses its clients. False
  // with *error set when an endpoint cannot be made or another server is
  // already answering on it.
  bool Start(std::string* error);
  // Stops accepting, ends every connection (clients then see the device go
  // away) and removes the endpoints. Called by the destructor too.
  void Stop();

#ifdef _WIN32
 private:
  void Serve(const std::string& device, PipeConnection& connection);

  World& world_;
  const std::string prefix_;
  std::vector<std::unique_ptr<PipeServer>> pipes_;
#else
  const std::string& Directory() const {
    return directory_;
  }
  // Paths of the sockets made by Start.
  std::vector<std::string> SocketPaths() const;

 private:
  struct Listener {
    std::string device;
    std::string path;
    int fd = -1;
    bool listening = false;
  };
  // One client: bytes received but not yet answered, reply bytes not yet
  // sent. While a reply is pending nothing more is read from the client.
  struct Connection {
    int fd = -1;
    std::string device;
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> output;
    std::size_t sent = 0;
    bool silent = false;  // the device stopped answering: input is read and dropped
  };

  void EventLoop();
  // Reads what the client sent and answers every complete call; false when
  // the connection is to be closed.
  bool Receive(Connection& connection);
  bool Flush(Connection& connection);

  World& world_;
  const std::string directory_;
  std::vector<Listener> listeners_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread loopThread_;
  bool started_ = false;
#endif
};

#ifdef _WIN32
// "\\.\pipe\zelka\" unless $KIVO_DEVICE_PIPE names another prefix.
std::string DefaultPipePrefix();
#else
// Creates `path` and its missing parents with mode 0700; true when it exists
// as a directory afterwards.
bool MakePrivateDirectory(const std::string& path);
#endif

}  // namespace kivo::emulator
