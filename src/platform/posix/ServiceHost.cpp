// ServiceHost on Linux: systemd runs kivo-watch from its unit, so there is
// nothing to register here and no service manager to run under.
#include "platform/ServiceHost.h"

namespace kivo::platform {
namespace {

int Absent(std::string* error) {
  *error = "Windows services are a Windows feature; on Linux use the kivo-watch.service unit";
  return 1;
}

}  // namespace

int InstallService(const ServiceIdentity& /*service*/, std::string* error) {
  return Absent(error);
}

int RemoveService(const ServiceIdentity& /*service*/, std::string* error) {
  return Absent(error);
}

int StartRegisteredService(const ServiceIdentity& /*service*/, std::string* error) {
  return Absent(error);
}

int RunService(const ServiceIdentity& /*service*/, const std::function<int()>& /*body*/,
               const std::function<void()>& /*requestStop*/, std::string* error) {
  return Absent(error);
}

}  // namespace kivo::platform
