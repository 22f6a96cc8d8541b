// BoxOwner: which window owns a message box of the running utility. Over the
// seen main window a box is owned by it; over the hidden window (its usual
// state) the box stands alone in the middle of the screen instead of at the
// screen's edge next to the window's off-screen spot. Shared by both shells.
#pragma once

namespace kivo {

// True when a box asked for as owned gets the main window as its owner.
inline bool BoxOwnedByWindow(bool ownedAsked, bool windowVisible) {
  return ownedAsked && windowVisible;
}

}  // namespace kivo
