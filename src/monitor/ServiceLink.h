// ServiceLink: the client of the background service's local RPC interface
// (endpoint "KIVO"): fetch the next notification word of a controller, or ask
// the service to shut down. Each call binds afresh and releases the binding.
#pragma once

#include <cstdint>
#include <string>

#include "platform/RpcPdu.h"

namespace kivo {

class ServiceLink {
 public:
  // rpcDirectory: where the endpoint's socket lives ($KIVO_RPC_DIR).
  explicit ServiceLink(std::string rpcDirectory);
  virtual ~ServiceLink();

  // Procedure 0. Returns 0 and stores the word on success; on any failure
  // returns the RPC status (nonzero) and leaves *word untouched. The id is
  // passed truncated to 16 bits.
  virtual std::uint32_t FetchNotification(int controllerId, std::uint16_t* word);
  // Procedure 1; every failure is ignored.
  virtual void ShutdownService();

  // The longest wait for each answer of the service (10 s unless set); a
  // call that waits longer fails with a nonzero status.
  void SetTimeout(std::uint32_t ms) { timeoutMs_ = ms; }

  // The interface the service offers: c43a9290-fc30-11d3-a454-0050dacffdd7 v1.0.
  static platform::SyntaxId Interface();
  static constexpr const char* kEndpoint = "KIVO";
  static constexpr std::uint16_t kFetchNotificationOpnum = 0;
  static constexpr std::uint16_t kShutdownServiceOpnum = 1;

 private:
  std::string rpcDirectory_;
  std::uint32_t timeoutMs_ = 10000;
};

}  // namespace kivo
