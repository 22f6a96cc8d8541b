// kivo-install: the install step. Seeds the e-mail and web-interface settings
// in the registry directory ($KIVO_REGISTRY_DIR, else the per-user default)
// as an installer would, leaving every existing value as it is.
#include <cstdio>
#include <cstring>
#include <string>

#include "mail/InstallSettings.h"
#include "platform/Registry.h"

int main(int argc, char** argv) {
  std::string directory = kivo::platform::DefaultRegistryDirectory();
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
    std::fprintf(stderr,
                 "usage: kivo-install [registry-directory]\n"
                 "Creates the missing registry settings of the Kivo Disk Management Utility\n"
                 "(default directory: %s).\n",
                 directory.c_str());
    return argc > 2 ? 2 : 0;
  }
  if (argc == 2) directory = argv[1];
  auto registry = kivo::platform::MakeFileRegistry(directory);
  kivo::InstallResult result = kivo::SeedInstallSettings(*registry);
  for (const std::string& line : result.created) std::printf("created %s\n", line.c_str());
  if (result.status != kivo::platform::ERROR_SUCCESS) {
    std::fprintf(stderr, "kivo-install: registry in %s could not be updated (status %d)\n", directory.c_str(),
                 static_cast<int>(result.status));
    return 1;
  }
  if (result.created.empty()) std::printf("settings already installed in %s\n", directory.c_str());
  return 0;
}
