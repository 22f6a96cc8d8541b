// DeviceServer: serves a World's devices on Unix-domain stream sockets in a
// device directory ("Scsi<id>:" per controller, or "ZELKAVSD"), all
// connections on one event-loop thread. Used by zelka-emulator and by tests
// that need real sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

class DeviceServer {
 public:
  // The world must outlive the server.
  DeviceServer(World& world, std::string directory);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // Creates the directory (mode 0700) when missing and one socket per device
  // the world presents. A device with open fault 2 gets no socket; one with
  // any other open fault gets a socket that refuses connections. False with
  // *error set when a socket cannot be made or another server is already
  // answering on it.
  bool Start(std::string* error);
  // Stops accepting, ends every connection (clients then see the device
  // go away), joins the thread and removes the sockets. Called by the
  // destructor too.
  void Stop();

  const std::string& Directory() const { return directory_; }
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
};

// Creates `path` and its missing parents with mode 0700; true when it exists
// as a directory afterwards.
bool MakePrivateDirectory(const std::string& path);

}  // namespace kivo::emulator
