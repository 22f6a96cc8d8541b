// InstanceLock: an exclusive lock on a file, held for the life of the object,
// by which one program instance tells it is the only one. Linux only;
// app/InstanceCheck decides what is locked.
#pragma once

#include <string>

namespace kivo::platform {

class InstanceLock {
 public:
  enum class Result { kTaken, kHeldElsewhere, kUnavailable };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Opens `path` (mode 0600, never through a symbolic link) and locks it
  // without waiting. kUnavailable, with the reason in *error, when the file
  // cannot be opened.
  Result Take(const std::string& path, std::string* error);
  bool Held() const { return fd_ >= 0; }

  // True when another descriptor holds the lock on `path` now. Looks without
  // creating the file and without keeping anything; false when it cannot be
  // opened.
  static bool HeldElsewhere(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace kivo::platform
