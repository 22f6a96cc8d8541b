// The machine's registry on Linux: the file-backed hives in the registry
// directory.
#include "platform/Registry.h"

namespace kivo::platform {

std::unique_ptr<Registry> MakeSystemRegistry() {
  return MakeFileRegistry(DefaultRegistryDirectory());
}

}  // namespace kivo::platform
