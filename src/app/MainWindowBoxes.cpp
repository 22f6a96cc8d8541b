// Message boxes owned by the main window while it is seen.
#include "app/MainWindowBoxes.h"

#include "shell/BoxOwner.h"
#include "ui/DesktopServices.h"

namespace kivo {

QWidget* MainWindowBoxes::Owner() const {
  return (window_ != nullptr && BoxOwnedByWindow(true, window_->isVisible())) ? window_.data() : nullptr;
}

int MainWindowBoxes::MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                                 platform::UINT type) {
  QWidget* owner = Owner();
  QtMessageBoxes boxes(owner);
  return boxes.MessageBoxA(BoxOwnedByWindow(owned, owner != nullptr), text, caption, type);
}

}  // namespace kivo
