// StopRequest on Windows: a console control handler and Raise both set one
// manual-reset event that Wait waits on.
#include "platform/StopRequest.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

::HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(::DWORD) {
  ::SetEvent(stopEvent);
  return TRUE;
}

}  // namespace

StopRequest::StopRequest() {
  if (stopEvent == nullptr) stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

void StopRequest::Wait() {
  ::WaitForSingleObject(stopEvent, INFINITE);
}

void StopRequest::Raise() {
  ::SetEvent(stopEvent);
}

}  // namespace kivo::platform
