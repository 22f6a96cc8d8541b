// Asking the compositor for an activation token over xdg-activation-v1.
#include "ui/WaylandActivationToken.h"

#include <wayland-client.h>

#include <cstring>
#include <optional>

#include "xdg-activation-v1-client-protocol.h"

namespace kivo {

namespace {

struct Session {
  xdg_activation_v1* activation = nullptr;
  std::optional<std::string> token;
};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
  (void)version;
  auto* session = static_cast<Session*>(data);
  if (session->activation == nullptr && std::strcmp(interface, xdg_activation_v1_interface.name) == 0) {
    session->activation =
        static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
  }
}

void GlobalRemove(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener kRegistryListener = {Global, GlobalRemove};

void Done(void* data, xdg_activation_token_v1*, const char* token) {
  static_cast<Session*>(data)->token = token != nullptr ? token : "";
}

constexpr xdg_activation_token_v1_listener kTokenListener = {Done};

}  // namespace

std::string RequestWaylandActivationToken(const std::string& appId) {
  // The display of $WAYLAND_DISPLAY, the one the toolkit draws on.
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return "";
  Session session;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &session);
  std::string token;
  if (wl_display_roundtrip(display) >= 0 && session.activation != nullptr) {
    xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(session.activation);
    xdg_activation_token_v1_add_listener(request, &kTokenListener, &session);
    if (!appId.empty()) xdg_activation_token_v1_set_app_id(request, appId.c_str());
    xdg_activation_token_v1_commit(request);
    // The compositor answers the commit at once; two round trips bound the
    // wait for one that answers late.
    for (int trip = 0; trip < 2 && !session.token && wl_display_roundtrip(display) >= 0; ++trip) {
    }
    if (session.token) token = *session.token;
    xdg_activation_token_v1_destroy(request);
    xdg_activation_v1_destroy(session.activation);
  }
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return token;
}

}  // namespace kivo
