// ServiceLink: the monitor's client of the background service's local RPC
// interface (platform/ServiceRpc.h names it): fetch the next notification word of a controller, or ask
// the service to shut down. Each call binds afresh and releases the binding.
#pragma once

#include <cstdint>
#include <string>

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

 private:
  std::string rpcDirectory_;
  std::uint32_t timeoutMs_ = 10000;
};

}  // namespace kivo
