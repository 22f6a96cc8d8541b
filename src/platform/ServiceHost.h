// ServiceHost: a program as a service of the system's service manager
// (Windows): registering it with its event source, removing both, and running
// the program's body as the service. Used by kivo-watch's main; on Linux the
// systemd unit plays this part and every operation answers that it is absent.
#pragma once

#include <functional>
#include <string>

namespace kivo::platform {

struct ServiceIdentity {
  const char* name;         // the service's key name
  const char* displayName;  // what the services console lists
  const char* description;
  const char* eventSource;  // the source name in the Application log
  const char* arguments;    // the manager's command line after the program's path
};

// How long a stop may take, as the service tells the manager.
constexpr unsigned kServiceStopWaitHintMs = 10000;

// How long starting the service may take until it runs, and how long an
// installation waits for an earlier registration still being removed.
constexpr unsigned kServiceStartLimitMs = 30000;
constexpr unsigned kServiceDeletionLimitMs = 10000;

// Registers the service (own process, automatic start, restarted on failure)
// under the local system account with only the privileges it needs, and the
// event source with this program as its message file. An earlier
// registration that the manager is still removing is waited for (at most
// kServiceDeletionLimitMs). 0 on success; otherwise 1 with a sentence in
// *error, and nothing is left registered.
int InstallService(const ServiceIdentity& service, std::string* error);
// Stops the service when it runs, then removes it and its event source. It
// holds in every state the service may be in: stopped, never started,
// already being removed, or left in the registry by a removal the manager no
// longer knows of (a registration of a program of this name is removed;
// another program's is left alone). 0 on success, with a sentence in *error
// where the removal was not the usual one; otherwise 1 with a sentence.
int RemoveService(const ServiceIdentity& service, std::string* error);
// Starts the service and waits (at most kServiceStartLimitMs) until it runs.
// 0 when it runs (also when it ran already); otherwise 1 with a sentence in
// *error: why the manager refused, or how the service ended.
int StartRegisteredService(const ServiceIdentity& service, std::string* error);
// Runs `body` as the service's main once the manager has started the program:
// the service reports running before the body starts, `requestStop` is called
// (on the manager's thread) on STOP or SHUTDOWN, and the service reports
// stopped when the body has returned. Returns the body's status, or 1 with a
// sentence in *error when the program was not started by the manager.
int RunService(const ServiceIdentity& service, const std::function<int()>& body,
               const std::function<void()>& requestStop, std::string* error);

}  // namespace kivo::platform
