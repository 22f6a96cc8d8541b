// MessageLock state. The mutex itself lives for the whole process and is
// never destroyed: "retiring" only clears the ready flag, so a thread that is
// still inside the lock when the window goes away cannot touch freed memory.
#include "monitor/MessageLock.h"

#include <atomic>

namespace kivo {

namespace {

std::mutex& LockObject() {
  static std::mutex instance;
  return instance;
}

// Cleared only under LockObject(), so a holder never sees it fall under its
// feet.
std::atomic<bool> ready{false};

}  // namespace

void MessageLock::Create() {
  ready.store(true);
}

void MessageLock::Retire() {
  std::lock_guard guard(LockObject());
  ready.store(false);
}

bool MessageLock::Ready() {
  return ready.load();
}

bool MessageLock::Enter() {
  if (!ready.load()) return false;
  LockObject().lock();
  if (!ready.load()) {
    // Retired while we waited for it.
    LockObject().unlock();
    return false;
  }
  return true;
}

void MessageLock::Leave(bool entered) {
  if (entered) LockObject().unlock();
}

}  // namespace kivo
