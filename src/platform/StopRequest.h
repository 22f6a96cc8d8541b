// StopRequest: how a console program learns that it is to end: SIGTERM or
// SIGINT on Linux, a console control event (Ctrl+C, Ctrl+Break, close) on
// Windows, or Raise from one of its own threads.
#pragma once

namespace kivo::platform {

class StopRequest {
 public:
  // Takes the stop requests of the process from now on. Make it before any
  // thread is started (on Linux the signals are blocked in every thread).
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  // Blocks until a stop is requested.
  void Wait();
  // Requests the stop from inside the program; safe from any thread.
  void Raise();
};

}  // namespace kivo::platform
