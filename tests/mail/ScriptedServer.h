// ScriptedServer: a loopback TCP server on an ephemeral port that plays one
// script per accepted connection in a thread and records what it received.
// The SMTP tests use it as the mail server.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivo::test {

struct ServerStep {
  enum Kind {
    Reply,     // send text
    ReadLine,  // wait for one more CR LF line from the client
    ReadData,  // wait for the end-of-data mark "\r\n.\r\n"
    Gate,      // wait until the test calls OpenGate()
    Close,     // orderly close
    Reset,     // abortive close (the client sees a connection reset)
  };
  Kind kind;
  std::string text;
};

using Script = std::vector<ServerStep>;

inline ServerStep Reply(std::string text) {
  return {ServerStep::Reply, std::move(text)};
}
inline ServerStep ReadLine() {
  return {ServerStep::ReadLine, {}};
}
inline ServerStep ReadData() {
  return {ServerStep::ReadData, {}};
}
inline ServerStep Gate() {
  return {ServerStep::Gate, {}};
}
inline ServerStep CloseConnection() {
  return {ServerStep::Close, {}};
}
inline ServerStep ResetConnection() {
  return {ServerStep::Reset, {}};
}

class ScriptedServer {
 public:
  // Listens on 127.0.0.1; each script serves one connection, in order. After
  // its last step a connection is read until the client closes it.
  explicit ScriptedServer(std::vector<Script> scripts);
  ~ScriptedServer();

  unsigned Port() const { return port_; }
  void OpenGate();
  // Everything received on connection `index` so far.
  std::string Received(std::size_t index = 0);
  bool ReceivedContains(const std::string& text, std::size_t index = 0);
  // True when every script has run to its end and its client has gone.
  bool Finished();
  // Waits (bounded) for the thread to finish; false on time-out.
  bool Join();

 private:
  void Run();
  void Serve(int fd, const Script& script, std::size_t index);
  bool ReadUntil(int fd, std::size_t index, const std::string& mark, std::size_t& seen);

  int listener_ = -1;
  unsigned port_ = 0;
  std::vector<Script> scripts_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
  bool gateOpen_ = false;
  bool finished_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kivo::test
