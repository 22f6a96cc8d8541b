// MessageLock: the process-wide lock around PendingText, with its ready flag.
// Create marks it ready (a second Create does nothing); Enter and Leave do
// nothing while it is not ready; Retire marks it not ready. Used by the
// monitor thread and the window side's MonitorMessage handler.
#pragma once

#include <mutex>

namespace kivo {

class MessageLock {
 public:
  static void Create();
  // Waits for a holder to leave, then marks the lock not ready. The window's
  // exit path calls it only after the monitor thread has been joined.
  static void Retire();
  static bool Ready();

  // Takes the lock when it is ready; the result says whether it was taken and
  // must be handed to Leave, so a Retire between the two cannot unbalance it.
  static bool Enter();
  static void Leave(bool entered);

  // Enter for the life of a scope.
  class Scope {
   public:
    Scope() : entered_(Enter()) {}
    ~Scope() { Leave(entered_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    bool entered_;
  };
};

}  // namespace kivo
