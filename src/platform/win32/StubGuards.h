/* Included before the stubs widl makes: GCC has no __try, so the stubs'
   guards become plain blocks. An exception raised by the run time inside a
   client stub leaves it and is caught by the client's guard
   (ServiceRpcGuard.c); the server stub raises none of its own. */
#pragma once

#include <rpc.h>

#undef RpcTryExcept
#undef RpcExcept
#undef RpcEndExcept
#undef RpcTryFinally
#undef RpcFinally
#undef RpcEndFinally
#undef RpcExceptionCode
#undef RpcAbnormalTermination

#define RpcTryExcept if (1) {
#define RpcExcept(expr) \
  }                     \
  else {
#define RpcEndExcept }
#define RpcTryFinally {
#define RpcFinally \
  }                \
  {
#define RpcEndFinally }
#define RpcExceptionCode() 0
#define RpcAbnormalTermination() 0
