// ServiceHost on Windows: the service control manager (advapi32) for
// registering, removing and running the service, and the event source's key
// under the Application log.
#include "platform/ServiceHost.h"

#include <mutex>
#include <string>

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

constexpr char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
// Error, warning and information entries.
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
// A failed service is started again after a minute, three times in a day.
constexpr DWORD kRestartDelayMs = 60000;
constexpr DWORD kFailureResetSeconds = 86400;
// How long removal waits for a running service to stop.
constexpr DWORD kRemoveStopLimitMs = 30000;

std::string SystemText(DWORD code) {
  char buffer[512] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, buffer, sizeof buffer, nullptr);
  while (length > 0 &&
         (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' || buffer[length - 1] == ' ')) {
    --length;
  }
  std::string text(buffer, length);
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

// The sentence for a failed call; a refusal is named for what it means here.
std::string Failure(const std::string& what, DWORD code) {
  if (code == ERROR_ACCESS_DENIED) return what + " needs administrator rights (" + SystemText(code) + ")";
  return what + " failed (" + SystemText(code) + ")";
}

struct ServiceHandle {
  SC_HANDLE handle = nullptr;
  explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
  ~ServiceHandle() {
    if (handle != nullptr) ::CloseServiceHandle(handle);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
};

std::string SourceKey(const ServiceIdentity& service) {
  return std::string(kSourcesKey) + service.eventSource;
}

// The event source with this program as its message file.
LONG RegisterSource(const ServiceIdentity& service, const std::string& program) {
  ::HKEY key = nullptr;
  LONG status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, SourceKey(service).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = ::RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(program.c_str()),
                            static_cast<DWORD>(program.size() + 1));
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExA(key, "TypesSupported", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&kTypesSupported), sizeof kTypesSupported);
  }
  ::RegCloseKey(key);
  return status;
}

LONG RemoveSource(const ServiceIdentity& service) {
  return ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, SourceKey(service).c_str());
}

// Description, restart on failure (also when the program ends with an error
// status rather than a crash) and the privilege list. A system that does
// not know the last two settings keeps its defaults.
DWORD Configure(SC_HANDLE handle, const ServiceIdentity& service) {
  SERVICE_DESCRIPTIONA description{const_cast<char*>(service.description)};
  if (!::ChangeServiceConfig2A(handle, SERVICE_CONFIG_DESCRIPTION, &description)) return ::GetLastError();
  SC_ACTION restart[3];
  for (SC_ACTION& action : restart) action = {SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSA failure{kFailureResetSeconds, nullptr, nullptr, 3, restart};
  if (!::ChangeServiceConfig2A(handle, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) return ::GetLastError();
  SERVICE_FAILURE_ACTIONS_FLAG onErrorStatus{TRUE};
  if (!::ChangeServiceConfig2W(handle, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorStatus) &&
      ::GetLastError() != ERROR_INVALID_LEVEL) {
    return ::GetLastError();
  }
  // The local system account reaches the SCSI port devices, which only
  // administrators and the system may open for writing; of its privileges the
  // monitor keeps only the one every process needs.
  wchar_t privileges[] = L"SeChangeNotifyPrivilege\0";
  SERVICE_REQUIRED_PRIVILEGES_INFOW required{privileges};
  if (!::ChangeServiceConfig2W(handle, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &required) &&
      ::GetLastError() != ERROR_INVALID_LEVEL) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

// The file name of a path, in lower case.
std::string FileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  for (char& c : name) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  return name;
}

// The file name of a command line's program: in quotes, or (as the service
// manager reads an unquoted one) up to the first ".exe".
std::string ProgramName(const std::string& commandLine) {
  if (!commandLine.empty() && commandLine[0] == '"') {
    return FileName(commandLine.substr(1, commandLine.find('"', 1) - 1));
  }
  std::string lower = commandLine;
  for (char& c : lower) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  const std::size_t exe = lower.find(".exe");
  return FileName(exe == std::string::npos ? commandLine.substr(0, commandLine.find(' '))
                                           : commandLine.substr(0, exe + 4));
}

// The command line the registry holds for a service the manager does not
// know (a removal it no longer knows of, a registry restored from before);
// empty when there is no such key.
std::string LeftoverImagePath(const ServiceIdentity& service) {
  ::HKEY key = nullptr;
  const std::string path = std::string(kServicesKey) + service.name;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
  char value[1024] = {};
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  const LONG status =
      ::RegQueryValueExA(key, "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  // A key without a command line is still a leftover: name it so.
  return status == ERROR_SUCCESS && value[0] != '\0' ? std::string(value) : std::string("(none)");
}

ULONGLONG Now() {
  return ::GetTickCount64();
}

// Waits (bounded) until the service has stopped.
bool WaitStopped(SC_HANDLE handle) {
  for (DWORD waited = 0; waited < kRemoveStopLimitMs; waited += 200) {
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(handle, &status)) return false;
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    ::Sleep(200);
  }
  return false;
}

// The running service: the manager calls ServiceMain and the control handler
// on threads of its dispatcher, so what they share is kept here.
struct RunningService {
  const ServiceIdentity* identity = nullptr;
  const std::function<int()>* body = nullptr;
  const std::function<void()>* requestStop = nullptr;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  std::mutex statusMutex;  // guards status and its reports
  SERVICE_STATUS status{};
  int bodyStatus = 0;
};
RunningService running;

void ReportState(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
  std::lock_guard guard(running.statusMutex);
  SERVICE_STATUS& status = running.status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  // A stop already under way is not undone by a late report of running.
  if (state == SERVICE_RUNNING && status.dwCurrentState == SERVICE_STOP_PENDING) return;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = exitCode;
  status.dwWaitHint = waitHint;
  status.dwCheckPoint =
      state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? status.dwCheckPoint + 1 : 0;
  ::SetServiceStatus(running.statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD /*eventType*/, void* /*eventData*/, void* /*context*/) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      ReportState(SERVICE_STOP_PENDING, NO_ERROR, kServiceStopWaitHintMs);
      (*running.requestStop)();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD /*argc*/, char** /*argv*/) {
  running.statusHandle = ::RegisterServiceCtrlHandlerExA(running.identity->name, OnControl, nullptr);
  if (running.statusHandle == nullptr) {
    running.bodyStatus = 1;
    return;
  }
  // Running at once: the first scan and the monitor's start are the body's.
  ReportState(SERVICE_START_PENDING, NO_ERROR, 3000);
  ReportState(SERVICE_RUNNING);
  running.bodyStatus = (*running.body)();
  ReportState(SERVICE_STOPPED, static_cast<DWORD>(running.bodyStatus));
}

}  // namespace

int InstallService(const ServiceIdentity& service, std::string* error) {
  const std::string program = ProgramPath();
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (manager.handle == nullptr) {
    *error = Failure("installing a service", ::GetLastError());
    return 1;
  }
  const std::string command = "\"" + program + "\" " + service.arguments;
  // No account name: the local system account (see Configure). An earlier
  // registration that is being removed (an upgrade removes the service just
  // before; the Services window may still hold it) goes within moments.
  const ULONGLONG deadline = Now() + kServiceDeletionLimitMs;
  ::SC_HANDLE created = nullptr;
  DWORD code = ERROR_SUCCESS;
  for (;;) {
    created = ::CreateServiceA(manager.handle, service.name, service.displayName, SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                               command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    code = created == nullptr ? ::GetLastError() : ERROR_SUCCESS;
    if (code != ERROR_SERVICE_MARKED_FOR_DELETE || Now() >= deadline) break;
    ::Sleep(200);
  }
  ServiceHandle handle(created);
  if (handle.handle == nullptr) {
    if (code == ERROR_SERVICE_EXISTS || code == ERROR_DUPLICATE_SERVICE_NAME) {
      *error = std::string("the service ") + service.name + " is already installed; remove it first";
    } else if (code == ERROR_SERVICE_MARKED_FOR_DELETE) {
      *error = std::string("the earlier service ") + service.name +
               " is still being removed: a program holds it open (close the Services window, or restart "
               "Windows), then install again";
    } else {
      *error = Failure("installing the service", code);
    }
    return 1;
  }
  code = Configure(handle.handle, service);
  if (code == ERROR_SUCCESS) code = static_cast<DWORD>(RegisterSource(service, program));
  if (code != ERROR_SUCCESS) {
    // Nothing half-registered: the service goes again, and the source key.
    ::DeleteService(handle.handle);
    RemoveSource(service);
    *error = Failure("configuring the service", code);
    return 1;
  }
  return 0;
}

int RemoveService(const ServiceIdentity& service, std::string* error) {
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.handle == nullptr) {
    *error = Failure("removing a service", ::GetLastError());
    return 1;
  }
  ServiceHandle handle(
      ::OpenServiceA(manager.handle, service.name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (handle.handle == nullptr) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SERVICE_DOES_NOT_EXIST) {
      *error = Failure("removing the service", code);
      return 1;
    }
    // A source left behind by an earlier removal goes too.
    RemoveSource(service);
    // The registry may still hold the service where the manager does not:
    // at the next start of Windows it would start a program that is gone.
    // Only a registration of this program is ours to remove.
    const std::string leftover = LeftoverImagePath(service);
    if (leftover.empty()) {
      *error = std::string("the service ") + service.name + " is not installed";
      return 1;
    }
    if (leftover != "(none)" && ProgramName(leftover) != FileName(ProgramPath())) {
      *error = std::string("the service ") + service.name +
               " is not installed; the registry's service of that name runs another program (" + leftover +
               ") and is left alone";
      return 1;
    }
    const std::string key = std::string(kServicesKey) + service.name;
    const LONG status = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    if (status != ERROR_SUCCESS) {
      *error = Failure("removing the service's registration that the service manager no longer knows",
                       static_cast<DWORD>(status));
      return 1;
    }
    *error = std::string("the service manager no longer knew the service ") + service.name +
             "; its registration left in the registry is removed";
    return 0;
  }
  SERVICE_STATUS status{};
  if (::ControlService(handle.handle, SERVICE_CONTROL_STOP, &status) && !WaitStopped(handle.handle)) {
    *error = std::string("the service ") + service.name + " did not stop; it is left installed";
    return 1;
  }
  if (!::DeleteService(handle.handle)) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SERVICE_MARKED_FOR_DELETE) {
      *error = Failure("removing the service", code);
      return 1;
    }
    // Removed already by someone else; the manager lets it go once the
    // last program holding it does.
    *error = std::string("the service ") + service.name + " was being removed already";
  }
  const LONG sourceStatus = RemoveSource(service);
  if (sourceStatus != ERROR_SUCCESS && sourceStatus != ERROR_FILE_NOT_FOUND) {
    *error = Failure("removing the event source", static_cast<DWORD>(sourceStatus));
    return 1;
  }
  return 0;
}

int StartRegisteredService(const ServiceIdentity& service, std::string* error) {
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.handle == nullptr) {
    *error = Failure("starting a service", ::GetLastError());
    return 1;
  }
  ServiceHandle handle(::OpenServiceA(manager.handle, service.name, SERVICE_START | SERVICE_QUERY_STATUS));
  if (handle.handle == nullptr) {
    const DWORD code = ::GetLastError();
    *error = code == ERROR_SERVICE_DOES_NOT_EXIST
                 ? std::string("the service ") + service.name + " is not installed"
                 : Failure("starting the service", code);
    return 1;
  }
  if (!::StartServiceA(handle.handle, 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    *error = Failure(std::string("starting the service ") + service.name, ::GetLastError());
    return 1;
  }
  // Running, or stopped again (the program ended), or neither in time.
  const ULONGLONG deadline = Now() + kServiceStartLimitMs;
  SERVICE_STATUS status{};
  for (;;) {
    if (!::QueryServiceStatus(handle.handle, &status)) {
      *error = Failure(std::string("asking how the service ") + service.name + " is", ::GetLastError());
      return 1;
    }
    if (status.dwCurrentState == SERVICE_RUNNING) return 0;
    if (status.dwCurrentState == SERVICE_STOPPED) break;
    if (Now() >= deadline) {
      *error = std::string("the service ") + service.name + " did not report running within " +
               std::to_string(kServiceStartLimitMs / 1000) + " seconds";
      return 1;
    }
    ::Sleep(100);
  }
  if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) {
    *error = std::string("the service ") + service.name + " ended as it started, with its own code " +
             std::to_string(status.dwServiceSpecificExitCode);
  } else {
    *error = std::string("the service ") + service.name + " ended as it started (" +
             SystemText(status.dwWin32ExitCode) + ")";
  }
  return 1;
}

int RunService(const ServiceIdentity& service, const std::function<int()>& body,
               const std::function<void()>& requestStop, std::string* error) {
  running.identity = &service;
  running.body = &body;
  running.requestStop = &requestStop;
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(service.name), ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherA(table)) {
    const DWORD code = ::GetLastError();
    *error = code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                 ? std::string(
                       "only the service control manager starts the service; to watch in a console, "
                       "run the program without arguments")
                 : Failure("starting the service", code);
    return 1;
  }
  return running.bodyStatus;
}

}  // namespace kivo::platform
