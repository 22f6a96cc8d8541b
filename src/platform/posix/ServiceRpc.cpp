// The service's procedures over RpcClient: connect, bind, one request,
// release, with the endpoint's socket in the RPC directory.
#include "platform/ServiceRpc.h"

#include "platform/posix/RpcClient.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::platform {

DWORD CallFetchNotification(const std::string& rpcDirectory, std::uint16_t controllerId, std::uint16_t* word,
                            std::uint32_t timeoutMs) {
  RpcClient client(RpcEndpointPath(rpcDirectory, kServiceEndpoint), ServiceInterface());
  client.SetTimeout(timeoutMs);
  if (DWORD status = client.Bind(); status != 0) return status;
  RpcReply reply;
  DWORD status =
      client.Call(kFetchNotificationOpnum, EncodeNdrShort(controllerId, client.DataRepresentation()), &reply);
  client.Release();
  if (status != 0) return status;
  std::uint16_t answer = 0;
  if (!DecodeNdrShort(reply.stub, reply.drep, &answer)) return RPC_S_PROTOCOL_ERROR;
  *word = answer;
  return 0;
}

DWORD CallShutdownService(const std::string& rpcDirectory, std::uint32_t timeoutMs) {
  RpcClient client(RpcEndpointPath(rpcDirectory, kServiceEndpoint), ServiceInterface());
  client.SetTimeout(timeoutMs);
  if (DWORD status = client.Bind(); status != 0) return status;
  RpcReply reply;
  DWORD status = client.Call(kShutdownServiceOpnum, {}, &reply);
  client.Release();
  return status;
}

}  // namespace kivo::platform
