// PipeServer: one named pipe served by a thread per connection, with
// overlapped I/O so that Stop ends every wait at once. The emulator's device
// side and control command on Windows are built on it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivo::emulator {

// One connected client, as the session function sees it.
class PipeConnection {
 public:
  virtual ~PipeConnection() = default;
  // Reads exactly size bytes; false when the client went away or the server
  // stops.
  virtual bool ReadExactly(void* data, std::size_t size) = 0;
  // Reads what is available (at least one byte); 0 at the end or on a stop.
  virtual std::size_t ReadSome(void* data, std::size_t size) = 0;
  virtual bool WriteAll(const void* data, std::size_t size) = 0;
};

class PipeServer {
 public:
  using Session = std::function<void(PipeConnection&)>;

  // `refuse`: clients are turned away with access denied (a device that
  // exists but cannot be opened).
  PipeServer(std::string path, Session session, bool refuse = false);
  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Creates the first instance; false with the reason in *error (also when
  // another server already owns the name).
  bool Start(std::string* error);
  // Ends every wait and session and joins the threads.
  void Stop();
  const std::string& Path() const { return path_; }

 private:
  struct State;
  void AcceptLoop(void* firstInstance);

  const std::string path_;
  Session session_;
  const bool refuse_;
  std::shared_ptr<State> state_;
  std::thread acceptThread_;
};

}  // namespace kivo::emulator
