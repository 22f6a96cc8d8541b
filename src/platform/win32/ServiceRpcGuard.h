/* The exception guard of the RPC client calls (ServiceRpcGuard.c). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*KivoRpcBody)(void* context);

/* Runs body(context); 0 when it returned, else the code of the exception it
   raised (an RPC status). */
unsigned long KivoGuardedRpcCall(KivoRpcBody body, void* context);

#ifdef __cplusplus
}
#endif
