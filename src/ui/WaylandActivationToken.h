// WaylandActivationToken: an xdg-activation token the utility asks the Wayland
// compositor for itself, on a connection of its own, for a window that has no
// token to show with (an alarm that nobody's click brought). A token carries
// no user input, so the compositor decides what it may do: activate the
// window, or mark it urgent, or tell the user it is ready. Qt shell glue;
// WindowActivation uses it on Wayland.
#pragma once

#include <string>

namespace kivo {

// The token, or empty when there is no Wayland display to reach or it offers
// no xdg-activation. `appId` names the desktop entry the token is for.
std::string RequestWaylandActivationToken(const std::string& appId);

}  // namespace kivo
