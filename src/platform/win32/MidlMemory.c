/* The memory the RPC stubs ask of their program (client and server). */
#include <rpc.h>
#include <stdlib.h>

void* __RPC_USER MIDL_user_allocate(SIZE_T size) {
  return malloc(size);
}

void __RPC_USER MIDL_user_free(void* pointer) {
  free(pointer);
}
