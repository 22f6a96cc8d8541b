// Ownership and mode checks of endpoint directories, and the peer credentials
// of Unix-domain connections.
#include "platform/EndpointTrust.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace kivo::platform {

namespace {

bool TrustedOwner(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

std::string OwnerText(uid_t owner) {
  return "user " + std::to_string(owner);
}

}  // namespace

std::string FallbackRuntimeDirectory() {
  return "/tmp/kivo-" + std::to_string(::getuid());
}

std::string UserRuntimeDirectory() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] != '\0') return xdg;
  const std::string path = FallbackRuntimeDirectory();
  ::mkdir(path.c_str(), 0700);
  return path;
}

bool IsTrustedUid(long uid) {
  return uid >= 0 && TrustedOwner(static_cast<uid_t>(uid));
}

std::string DirectoryOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string UntrustedDirectoryReason(const std::string& path) {
  struct stat entry {};
  if (::lstat(path.c_str(), &entry) != 0) return "";
  if (S_ISLNK(entry.st_mode) && !TrustedOwner(entry.st_uid)) {
    return path + " is a symbolic link made by " + OwnerText(entry.st_uid);
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "";
  if (!S_ISDIR(info.st_mode)) return path + " is not a directory";
  if (!TrustedOwner(info.st_uid))
    return path + " belongs to " + OwnerText(info.st_uid) + ", not to this user";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path + " may be written by other users";
  // A parent that someone else controls could replace the directory.
  std::string parent = path;
  while (parent != "/" && parent != ".") {
    parent = DirectoryOfPath(parent);
    struct stat above {};
    if (::stat(parent.c_str(), &above) != 0) break;
    if (!TrustedOwner(above.st_uid)) {
      return path + " lies in " + parent + ", which belongs to " + OwnerText(above.st_uid);
    }
    if ((above.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (above.st_mode & S_ISVTX) == 0) {
      return path + " lies in " + parent + ", which other users may write";
    }
  }
  return "";
}

long PeerUid(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials) {
    return -1;
  }
  return static_cast<long>(credentials.uid);
}

void ReportDistrustOnce(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  if (!reported.insert(text).second) return;
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
}

}  // namespace kivo::platform
