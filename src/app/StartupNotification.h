// StartupNotification: the end of a launcher's startup notification on X11.
// A menu entry that asks for startup notification makes the launcher show
// "starting" until the started program maps a window or says it is done. A
// second start hands its request to the running instance and maps no window
// of its own, so it says it is done: the "remove" message of the
// startup-notification protocol, sent on the X display. Used by start-up.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kivo {

// "remove: ID=<id>", the id quoted where it holds blanks, quotes or
// backslashes.
std::string StartupRemoveMessage(const std::string& startupId);
// The message with its terminating NUL in the 20-byte pieces of the client
// messages that carry it.
std::vector<std::array<char, 20>> StartupMessagePieces(const std::string& message);
// Sends the remove message for `startupId` to the screens of the display;
// false when the display cannot be reached (nothing else is reported).
bool SendStartupRemove(const std::string& displayName, const std::string& startupId);

}  // namespace kivo
