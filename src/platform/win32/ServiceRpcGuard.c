/* The exception guard around the RPC client stubs. The run time reports a
   failed call (no service, a broken connection) by raising an exception
   whose code is the RPC status; C++ cannot catch it and GCC has no __try, so
   the guard is MinGW's __try1/__except1: a frame with the C-specific handler
   and a filter that keeps the code and runs the handler (the code after the
   guarded call). One guard per file: the primitive's labels are fixed. */
#include <excpt.h>
#include <windows.h>

#include "platform/win32/ServiceRpcGuard.h"

static _Thread_local unsigned long caughtCode;

/* The filter the handler calls: every exception raised inside is the RPC
   run time's, as the stubs raise nothing else. */
long KivoServiceRpcFilter(EXCEPTION_POINTERS* pointers) {
  caughtCode = pointers->ExceptionRecord->ExceptionCode;
  return EXCEPTION_EXECUTE_HANDLER;
}

unsigned long KivoGuardedRpcCall(KivoRpcBody body, void* context) {
  caughtCode = 0;
  __try1(KivoServiceRpcFilter) body(context);
  __except1;
  return caughtCode;
}
