// The service's interface identity, the same on every platform.
#include "platform/ServiceRpc.h"

namespace kivo::platform {

SyntaxId ServiceInterface() {
  SyntaxId id;
  ParseUuid("c43a9290-fc30-11d3-a454-0050dacffdd7", &id.uuid);
  id.major = 1;
  id.minor = 0;
  return id;
}

}  // namespace kivo::platform
