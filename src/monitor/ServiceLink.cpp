// ServiceLink over the platform's local RPC: every call makes its own
// binding with the endpoint "KIVO" and releases it.
#include "monitor/ServiceLink.h"

#include "platform/ServiceRpc.h"

namespace kivo {

ServiceLink::ServiceLink(std::string rpcDirectory) : rpcDirectory_(std::move(rpcDirectory)) {}

ServiceLink::~ServiceLink() = default;

std::uint32_t ServiceLink::FetchNotification(int controllerId, std::uint16_t* word) {
  // The id travels as a 16-bit short: only its low 16 bits reach the service.
  auto id = static_cast<std::uint16_t>(static_cast<unsigned>(controllerId) & 0xFFFFu);
  return platform::CallFetchNotification(rpcDirectory_, id, word, timeoutMs_);
}

void ServiceLink::ShutdownService() {
  platform::CallShutdownService(rpcDirectory_, timeoutMs_);
}

}  // namespace kivo
