// EndpointTrust: which directories and peers may carry this user's device,
// service and command endpoints. A directory must belong to this user (or
// root) and be writable by no one else; a peer must run as this user or root.
#pragma once

#include <string>

namespace kivo::platform {

// This user's directory for the utility's lock and command socket:
// $XDG_RUNTIME_DIR, else /tmp/kivo-<uid> (created with mode 0700 when
// missing). The same path on every call: whether it may be used is decided
// where it is used (UntrustedDirectoryReason), never by moving elsewhere.
std::string UserRuntimeDirectory();

// The per-user folder in /tmp for a session without $XDG_RUNTIME_DIR,
// "/tmp/kivo-<uid>": the runtime directory above and the parent of the local
// RPC endpoints' directory. Only named here; who uses it makes it.
std::string FallbackRuntimeDirectory();

// Empty when `path` may hold this user's endpoints, or does not exist yet
// (whoever makes it is judged when it is used); otherwise the reason, as a
// sentence naming the directory. Checked: the directory (and a symbolic link
// leading to it) belongs to this user or root and no one else may write it;
// each parent belongs to this user or root and, when others may write it,
// carries the sticky bit (as /tmp does), so nobody can swap the directory.
std::string UntrustedDirectoryReason(const std::string& path);

// The directory part of a socket path ("." when it has none).
std::string DirectoryOfPath(const std::string& path);

// The uid of the process at the other end of a connected Unix-domain socket
// (SO_PEERCRED), or -1 when it cannot be told.
long PeerUid(int fd);

// This user or root.
bool IsTrustedUid(long uid);

// "PROGRAM: TEXT" on standard error, once per distinct text in the process:
// a refused endpoint is asked for again on every monitor pass.
void ReportDistrustOnce(const std::string& text);

}  // namespace kivo::platform
