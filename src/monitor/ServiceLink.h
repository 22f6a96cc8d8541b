// ServiceLink: the client of the background service's local RPC interface
// (endpoint "KIVO"): fetch the next notification word of a controller, or ask
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

 private:
  std::string rpcDirectory_;
};

}  // namespace kivo
