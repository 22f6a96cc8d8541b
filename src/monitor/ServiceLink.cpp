// ServiceLink over the local RPC transport: every call makes its own
// association with the endpoint "KIVO" (connect, bind, one request, release).
#include "monitor/ServiceLink.h"

#include "platform/RpcPdu.h"
#include "platform/posix/RpcClient.h"
#include "platform/posix/RpcSocket.h"

namespace kivo {

platform::SyntaxId ServiceLink::Interface() {
  platform::SyntaxId id;
  platform::ParseUuid("c43a9290-fc30-11d3-a454-0050dacffdd7", &id.uuid);
  id.major = 1;
  id.minor = 0;
  return id;
}

ServiceLink::ServiceLink(std::string rpcDirectory) : rpcDirectory_(std::move(rpcDirectory)) {}

ServiceLink::~ServiceLink() = default;

std::uint32_t ServiceLink::FetchNotification(int controllerId, std::uint16_t* word) {
  platform::RpcClient client(platform::RpcEndpointPath(rpcDirectory_, kEndpoint), Interface());
  client.SetTimeout(timeoutMs_);
  if (platform::DWORD status = client.Bind(); status != 0) return status;
  // The id travels as a 16-bit short: only its low 16 bits reach the service.
  auto id = static_cast<std::uint16_t>(static_cast<unsigned>(controllerId) & 0xFFFFu);
  platform::RpcReply reply;
  platform::DWORD status =
      client.Call(kFetchNotificationOpnum, platform::EncodeNdrShort(id, client.DataRepresentation()), &reply);
  client.Release();
  if (status != 0) return status;
  std::uint16_t answer = 0;
  if (!platform::DecodeNdrShort(reply.stub, reply.drep, &answer)) return platform::RPC_S_PROTOCOL_ERROR;
  *word = answer;
  return 0;
}

void ServiceLink::ShutdownService() {
  platform::RpcClient client(platform::RpcEndpointPath(rpcDirectory_, kEndpoint), Interface());
  client.SetTimeout(timeoutMs_);
  if (client.Bind() != 0) return;
  platform::RpcReply reply;
  client.Call(kShutdownServiceOpnum, {}, &reply);
  client.Release();
}

}  // namespace kivo
