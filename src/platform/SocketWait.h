// SocketWait: how a blocking socket call (connect, send) waits for its
// descriptor. Without one the call polls; the desktop shell hands in one that
// keeps its message loop running, so windows paint and the alarm goes on
// while a mail server is slow to answer.
#pragma once

namespace kivo::platform {

class SocketWait {
 public:
  virtual ~SocketWait() = default;
  // Waits until fd is ready for `events` (poll(2) bits: POLLIN, POLLOUT) or
  // timeoutMs has passed (negative: no limit). Returns as poll does: above 0
  // when ready (an error counts as ready), 0 when the time is up or the wait
  // ended early, -1 with errno set. Callers check the time left and wait again.
  virtual int WaitFor(int fd, short events, int timeoutMs) = 0;
};

}  // namespace kivo::platform
