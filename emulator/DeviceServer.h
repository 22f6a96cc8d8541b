// DeviceServer: serves a World's devices on Unix-domain stream sockets in a
// device directory ("Scsi<id>:" per controller, or "ZELKAVSD"), one thread
// per connection. Used by zelka-emulator and by tests that need real sockets.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
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
  // Stops accepting, ends every connection, joins the threads and removes
  // the sockets. Called by the destructor too.
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
  struct Connection {
    std::thread thread;
    int fd = -1;
    std::atomic<bool> finished{false};
  };

  void AcceptLoop();
  void Serve(Connection& connection, const std::string& device);
  void ReapFinished();

  World& world_;
  const std::string directory_;
  std::vector<Listener> listeners_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread acceptThread_;
  std::mutex mutex_;  // guards connections_ and stopping_
  std::list<Connection> connections_;
  bool stopping_ = false;
  bool started_ = false;
};

// Creates `path` and its missing parents with mode 0700; true when it exists
// as a directory afterwards.
bool MakePrivateDirectory(const std::string& path);

}  // namespace kivo::emulator
