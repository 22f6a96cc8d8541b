// The startup-notification protocol's remove message over xcb.
#include "app/StartupNotification.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kivo {

std::string StartupRemoveMessage(const std::string& startupId) {
  const bool quoted = startupId.find_first_of(" \"\\") != std::string::npos;
  std::string value;
  for (const char c : startupId) {
    if (c == '"' || c == '\\') value += '\\';
    value += c;
  }
  return "remove: ID=" + (quoted ? "\"" + value + "\"" : value);
}

std::vector<std::array<char, 20>> StartupMessagePieces(const std::string& message) {
  std::vector<std::array<char, 20>> pieces;
  // The NUL ends the message, and may start a piece of its own.
  const std::size_t length = message.size() + 1;
  for (std::size_t at = 0; at < length; at += 20) {
    std::array<char, 20> piece{};
    message.copy(piece.data(), std::min<std::size_t>(20, message.size() > at ? message.size() - at : 0), at);
    pieces.push_back(piece);
  }
  return pieces;
}

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(
          connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
          nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

}  // namespace

bool SendStartupRemove(const std::string& displayName, const std::string& startupId) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(displayName.c_str(), &screenNumber);
  if (connection == nullptr) return false;
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return false;
  }
  const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
  const auto pieces = StartupMessagePieces(StartupRemoveMessage(startupId));
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
       xcb_screen_next(&it)) {
    // The messages name a window of the sender's, as the protocol asks.
    const xcb_window_t sender = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, it.data->root, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      xcb_client_message_event_t event{};
      event.response_type = XCB_CLIENT_MESSAGE;
      event.format = 8;
      event.window = sender;
      event.type = i == 0 ? begin : more;
      std::memcpy(event.data.data8, pieces[i].data(), 20);
      xcb_send_event(connection, 0, it.data->root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                     reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(connection, sender);
  }
  xcb_flush(connection);
  xcb_disconnect(connection);
  return true;
}

}  // namespace kivo
