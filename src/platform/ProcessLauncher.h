// ProcessLauncher: the real Launcher. Starts the text editor ($KIVO_EDITOR,
// else xdg-open) or the URL opener (xdg-open) directly, without a shell and
// without waiting. For the programs; tests use their own launchers.
#pragma once

#include <string>
#include <vector>

#include "platform/Desktop.h"

namespace kivo::platform {

class ProcessLauncher : public Launcher {
 public:
  void OpenTextFile(const std::string& path) override;
  void OpenUrl(const std::string& url) override;
};

// Starts argv[0] (looked up in PATH) with the arguments, without a shell; the
// child is reaped in the background. The child's id, or -1 when it could not
// be started.
int StartDetached(const std::vector<std::string>& argv);

}  // namespace kivo::platform
