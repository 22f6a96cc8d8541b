// The install step: seeds the "Email" and "HTTP" keys of the settings store
// with their installed defaults, as an installer would. Used by kivo-install
// and by tests that need a freshly installed registry.
#pragma once

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/Win32Types.h"

namespace kivo {

struct InstallResult {
  // ERROR_SUCCESS, or the registry status that stopped the step.
  platform::LONG status = platform::ERROR_SUCCESS;
  // What was created, one readable line each, e.g.
  // "HKEY_USERS\.DEFAULT\Software\Zelka\kivo\HTTP: Port = dword:1080".
  std::vector<std::string> created;
};

// Creates the keys ".DEFAULT\Software\Zelka\kivo\Email" ("SendEmail" REG_DWORD
// 0, "Host", "ToID", "FromID", "FromName" empty REG_SZ) and "...\HTTP" ("Port"
// REG_DWORD 1080) where they or their values are missing. An existing value is
// never touched, whatever its type, so running the step again changes nothing.
InstallResult SeedInstallSettings(platform::Registry& registry);

}  // namespace kivo
