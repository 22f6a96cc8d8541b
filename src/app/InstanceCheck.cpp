// Single-instance detection: the X window search (xcb, whose errors arrive as
// replies, so a window vanishing mid-search cannot end the process) and the
// lock file of the display, the Wayland display or the user.
#include "app/InstanceCheck.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/EndpointTrust.h"

namespace kivo {

std::string DisplayKey(const std::string& displayName) {
  if (displayName.empty()) return "";
  char* host = nullptr;
  int display = 0;
  int screen = 0;
  if (xcb_parse_display(displayName.c_str(), &host, &display, &screen) == 0) return "";
  std::string hostText = host != nullptr ? host : "";
  std::free(host);
  // A local socket path or "unix" names this machine's display, as ":N" does.
  if (hostText == "unix" || (!hostText.empty() && hostText[0] == '/')) hostText.clear();
  for (char& c : hostText) {
    if (c == '/') c = '_';
  }
  return hostText + ":" + std::to_string(display);
}

SessionKey SessionKey::X11(const std::string& displayName) {
  const std::string key = DisplayKey(displayName);
  return key.empty() ? SessionKey{} : SessionKey{Kind::kX11Display, key};
}

SessionKey SessionKey::Wayland(const std::string& waylandDisplay) {
  if (waylandDisplay.empty()) return SessionKey{};
  // An absolute socket path names the display as well as its name does; the
  // file name cannot hold its slashes.
  std::string name = waylandDisplay;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return SessionKey{Kind::kWayland, name};
}

std::string SessionKey::Suffix() const {
  switch (kind) {
    case Kind::kX11Display:
      return " (display " + name + ")";
    case Kind::kWayland:
      return " (wayland " + name + ")";
    case Kind::kUser:
      break;
  }
  return "";
}

std::string InstanceFileName(const std::string& title, const SessionKey& session, const char* suffix) {
  return title + session.Suffix() + suffix;
}

std::string InstanceFileName(const std::string& title, const std::string& displayKey, const char* suffix) {
  return InstanceFileName(
      title, displayKey.empty() ? SessionKey{} : SessionKey{SessionKey::Kind::kX11Display, displayKey},
      suffix);
}

InstanceCheck::InstanceCheck(std::string title, std::string runtimeDirectory, std::string displayName,
                             std::string waylandDisplay, bool onWayland)
    : title_(std::move(title)),
      runtimeDirectory_(std::move(runtimeDirectory)),
      lockPath_(runtimeDirectory_ + "/" + InstanceFileName(title_, SessionKey{}, ".lock")),
      displayName_(std::move(displayName)),
      waylandDisplay_(std::move(waylandDisplay)),
      onWayland_(onWayland) {}

InstanceCheck::~InstanceCheck() = default;

bool InstanceCheck::OtherKindRuns() const {
  // An instance drawing through the compositor's X server and one drawing on
  // Wayland share the session; each holds its own kind's lock.
  const SessionKey other = onWayland_ ? SessionKey::X11(displayName_) : SessionKey::Wayland(waylandDisplay_);
  if (other.kind == SessionKey::Kind::kUser) return false;
  return platform::InstanceLock::HeldElsewhere(runtimeDirectory_ + "/" +
                                               InstanceFileName(title_, other, ".lock"));
}

bool InstanceCheck::IsFirstInstance() {
  if (lock_.Held()) return true;
  if (onWayland_) {
    // The X display is not opened on Wayland: the compositor would start its
    // X server for nothing.
    session_ = SessionKey::Wayland(waylandDisplay_);
    lockPath_ = runtimeDirectory_ + "/" + InstanceFileName(title_, session_, ".lock");
  } else if (!displayName_.empty()) {
    const std::optional<bool> found = SearchDisplayForTitle(displayName_, title_);
    if (found == true) return false;
    // Another display, or another session of this user, has its own instance.
    if (found.has_value()) {
      displayKey_ = DisplayKey(displayName_);
      session_ = SessionKey::X11(displayName_);
      lockPath_ = runtimeDirectory_ + "/" + InstanceFileName(title_, session_, ".lock");
    }
  }
  // A directory that another user controls could hold a lock of theirs for
  // ever; without a lock the window search alone decides.
  if (const std::string reason = platform::UntrustedDirectoryReason(runtimeDirectory_); !reason.empty()) {
    std::fprintf(stderr, "kivo: refusing the runtime directory: %s (set XDG_RUNTIME_DIR)\n", reason.c_str());
    return true;
  }
  if (OtherKindRuns()) return false;
  // The lock also closes the gap between the search and the creation of the
  // main window, when two instances start together.
  std::string error;
  switch (lock_.Take(lockPath_, &error)) {
    case platform::InstanceLock::Result::kTaken:
      return true;
    case platform::InstanceLock::Result::kHeldElsewhere:
      return false;
    case platform::InstanceLock::Result::kUnavailable:
      break;
  }
  std::fprintf(stderr, "kivo: cannot open the instance lock %s: %s\n", lockPath_.c_str(), error.c_str());
  // Without a lock the window search alone decides.
  return true;
}

namespace {

struct Free {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool PropertyEquals(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                    const std::string& text) {
  if (property == XCB_ATOM_NONE) return false;
  // One byte more than the title: a longer name cannot compare equal.
  const std::uint32_t words = static_cast<std::uint32_t>(text.size() / 4 + 2);
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
      nullptr));
  if (!reply || reply->format != 8) return false;
  const int length = xcb_get_property_value_length(reply.get());
  if (length != static_cast<int>(text.size()) || reply->bytes_after != 0) return false;
  return std::memcmp(xcb_get_property_value(reply.get()), text.data(), text.size()) == 0;
}

bool SearchTree(xcb_connection_t* connection, xcb_window_t parent, int depth, xcb_atom_t netWmName,
                const std::string& title) {
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr));
  if (!tree) return false;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_window_t> windows(children, children + count);
  for (xcb_window_t window : windows) {
    if (PropertyEquals(connection, window, XCB_ATOM_WM_NAME, title) ||
        PropertyEquals(connection, window, netWmName, title)) {
      return true;
    }
  }
  // Reparenting window managers put the client one or two levels below the
  // root's child (its frame).
  if (depth < 2) {
    for (xcb_window_t window : windows) {
      if (SearchTree(connection, window, depth + 1, netWmName, title)) return true;
    }
  }
  return false;
}

}  // namespace

std::optional<bool> SearchDisplayForTitle(const std::string& displayName, const std::string& title) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(displayName.c_str(), &screenNumber);
  if (connection == nullptr) return std::nullopt;
  std::optional<bool> found;
  if (xcb_connection_has_error(connection) == 0) {
    found = false;
    const xcb_atom_t netWmName = InternAtom(connection, "_NET_WM_NAME");
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem && !*found;
         xcb_screen_next(&it)) {
      found = SearchTree(connection, it.data->root, 0, netWmName, title);
    }
  }
  xcb_disconnect(connection);
  return found;
}

bool DisplayHasWindowTitled(const std::string& displayName, const std::string& title) {
  return SearchDisplayForTitle(displayName, title).value_or(false);
}

}  // namespace kivo
