// HostInfo: the readable description of the operating system for the report
// header and the main window, built from the platform's version record and,
// on the NT family, the product type in the registry. User-interface thread.
#pragma once

#include "controller/TextBuffer.h"
#include "platform/HostFacts.h"
#include "platform/Registry.h"

namespace kivo {

class HostInfo {
 public:
  HostInfo(platform::HostFacts& host, platform::Registry& registry);

  // Builds the description; 0, or the platform's error code when the version
  // cannot be read (the texts are then empty and the caller uses the plain
  // fallback text).
  platform::DWORD Build();
  const char* Description() const { return description_.Text(); }
  // The edition word of the last Build ("Professional", "(unknown version, a)",
  // ...); empty off the NT family.
  const char* ProductType() const { return productType_.Text(); }

 private:
  void ReadProductType(platform::DWORD major, platform::DWORD minor);

  platform::HostFacts& host_;
  platform::Registry& registry_;
  platform::OSVERSIONINFOA version_{};
  TextBuffer productType_;
  TextBuffer description_;
  TextBuffer numbers_;
};

}  // namespace kivo
