// StopRequest on Linux: SIGTERM and SIGINT are blocked in every thread and
// taken by sigwait; Raise sends SIGTERM to the process. A write to a closed
// pipe or socket is an error of that call, not a stop (SIGPIPE ignored).
#include "platform/StopRequest.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace kivo::platform {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

StopRequest::StopRequest() {
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

StopRequest::~StopRequest() = default;

void StopRequest::Wait() {
  sigset_t set = StopSignals();
  int received = 0;
  sigwait(&set, &received);
}

void StopRequest::Raise() {
  kill(getpid(), SIGTERM);
}

}  // namespace kivo::platform
