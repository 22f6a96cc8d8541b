// FileRegistry: the Win32 registry calls over ".reg" hive files, and the
// default registry directory.
#include "platform/posix/FileRegistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kivo::platform {
namespace {

const char* HiveName(HKEY hive) {
  if (hive == HKEY_USERS) return "HKEY_USERS";
  if (hive == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return nullptr;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

LONG StatusOfErrno(int error, LONG otherwise) {
  return (error == EACCES || error == EPERM || error == EROFS) ? static_cast<LONG>(ERROR_ACCESS_DENIED)
                                                               : otherwise;
}

// The file a path names once every symbolic link on its last part is
// followed (a dangling link names the file it would make); false on a loop.
bool FollowLinks(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    std::vector<char> link(static_cast<std::size_t>(PATH_MAX) + 1);
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size() - 1);
    if (n <= 0) {
      *target = current;
      return true;
    }
    std::string next(link.data(), static_cast<std::size_t>(n));
    if (next.front() != '/') {
      const std::size_t slash = current.find_last_of('/');
      if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    }
    current = std::move(next);
  }
  return false;
}

// Releases the hive lock when the change is done, whichever way it ends.
class LockGuard {
 public:
  explicit LockGuard(int fd) : fd_(fd) {}
  ~LockGuard() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the flock
  }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  int fd_;
};

}  // namespace

FileRegistry::FileRegistry(std::string directory) : directory_(std::move(directory)) {}

std::string FileRegistry::HivePath(HKEY hive) const {
  const char* name = HiveName(hive);
  return directory_ + "/" + (name ? name : "UNKNOWN") + ".reg";
}

void FileRegistry::Report(const std::string& subject, const std::string& message) {
  // Every call reads the file again; say what is wrong once, not on every call.
  std::string& last = lastReport_[subject];
  if (message == last) return;
  last = message;
  std::fprintf(stderr, "kivo: %s\n", message.c_str());
}

HKEY FileRegistry::AddHandle(OpenKey key) {
  HKEY handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, std::move(key));
  return handle;
}

LONG FileRegistry::Resolve(HKEY key, const char* subKey, OpenKey* target) {
  if (HiveName(key) != nullptr) {
    target->hive = key;
    target->path.clear();
  } else {
    auto found = handles_.find(key);
    if (found == handles_.end()) return ERROR_INVALID_HANDLE;
    *target = found->second;
  }
  if (subKey != nullptr && *subKey != '\0') {
    if (!RegFile::ValidKeyPath(subKey)) return ERROR_BAD_PATHNAME;
    if (!target->path.empty()) target->path.push_back('\\');
    target->path.append(subKey);
  }
  return ERROR_SUCCESS;
}

LONG FileRegistry::Load(HKEY hive, const RegFile** file) {
  ParsedHive& parsed = parsed_[hive];
  *file = &parsed.file;
  std::string path = HivePath(hive);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string text;
  if (fd < 0) {
    // No file yet (or no directory yet): an empty hive.
    if (errno != ENOENT && errno != ENOTDIR) {
      int error = errno;
      Report(path, "cannot read registry file " + path + ": " + std::strerror(error));
      return StatusOfErrno(error, ERROR_CANTREAD);
    }
  } else {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > static_cast<off_t>(kMaxRegFileBytes)) {
      ::close(fd);
      Report(path, "registry file " + path + " is larger than 32 MiB; the file is left as it is");
      return ERROR_REGISTRY_CORRUPT;
    }
    if (info.st_size > 0) text.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    while (true) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int error = errno;
        ::close(fd);
        Report(path, "cannot read registry file " + path + ": " + std::strerror(error));
        return ERROR_CANTREAD;
      }
      if (n == 0) break;
      text.append(chunk, static_cast<std::size_t>(n));
      if (text.size() > kMaxRegFileBytes) {
        ::close(fd);
        Report(path, "registry file " + path + " is larger than 32 MiB; the file is left as it is");
        return ERROR_REGISTRY_CORRUPT;
      }
    }
    ::close(fd);
  }
  // Parsing is what costs; reading and comparing the text is cheap, and
  // unlike a file's times and size it cannot miss a change.
  if (parsed.valid && parsed.text == text) return ERROR_SUCCESS;
  parsed.valid = false;
  RegParseError error;
  parsed.file = RegFile(HiveName(hive));
  if (!parsed.file.Parse(text, &error)) {
    Report(path, "registry file " + path + ", line " + std::to_string(error.line) + ": " + error.what +
                     "; the file is left as it is");
    return ERROR_REGISTRY_CORRUPT;
  }
  parsed.text = std::move(text);
  parsed.valid = true;
  // Mended: the next damage is news again.
  lastReport_.erase(path);
  return ERROR_SUCCESS;
}

LONG FileRegistry::EnsureDirectory() {
  // Makes each missing part of the path; the registry's own directory is
  // private to the user (settings hold mail addresses).
  std::string partial;
  std::size_t start = 0;
  while (start <= directory_.size()) {
    std::size_t end = directory_.find('/', start);
    if (end == std::string::npos) end = directory_.size();
    partial = directory_.substr(0, end);
    start = end + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      int error = errno;
      Report(partial, "cannot create registry directory " + partial + ": " + std::strerror(error));
      return StatusOfErrno(error, ERROR_CANTWRITE);
    }
  }
  return ERROR_SUCCESS;
}

int FileRegistry::Lock(HKEY hive, LONG* status) {
  *status = EnsureDirectory();
  if (*status != ERROR_SUCCESS) return -1;
  std::string path = HivePath(hive) + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    int error = errno;
    Report(path, "cannot open registry lock " + path + ": " + std::strerror(error));
    *status = StatusOfErrno(error, ERROR_CANTWRITE);
    return -1;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    ::close(fd);
    Report(path, "cannot lock registry file " + path + ": " + std::strerror(error));
    *status = ERROR_CANTWRITE;
    return -1;
  }
  return fd;
}

LONG FileRegistry::Save(HKEY hive, const RegFile& file) {
  std::string path = HivePath(hive);
  // A hive kept elsewhere through a symbolic link is replaced where it lives;
  // renaming over the link would turn it into a file of its own.
  std::string target;
  if (!FollowLinks(path, &target)) {
    Report(path, "cannot write registry file " + path + ": " + std::strerror(ELOOP) +
                     "; the file is left as it was");
    return ERROR_CANTWRITE;
  }
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  // A hive made read-only stays as it is: renaming would replace it anyway.
  if (exists && ((info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
    Report(path, "registry file " + target + " is read-only; the file is left as it is");
    return ERROR_ACCESS_DENIED;
  }
  std::string temporary = target + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    int error = errno;
    Report(path, "cannot write registry file " + path + ": " + std::strerror(error));
    return StatusOfErrno(error, ERROR_CANTWRITE);
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::string text = file.Write();
  // The replacement keeps the mode of the file it replaces (a new one is 0600).
  bool written =
      (!exists || ::fchmod(fd, info.st_mode & 07777) == 0) && WriteAll(fd, text) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.c_str());
    Report(path, "cannot write registry file " + path + ": " + std::strerror(error) +
                     "; the file is left as it was");
    return StatusOfErrno(error, ERROR_CANTWRITE);
  }
  // The rename itself lasts only once the directory is on disk.
  const std::size_t slash = target.find_last_of('/');
  const std::string directoryPath = slash == std::string::npos ? "."
                                    : slash == 0               ? "/"
                                                               : target.substr(0, slash);
  int directory = ::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  ParsedHive& parsed = parsed_[hive];
  parsed.file = file;
  parsed.text = std::move(text);
  parsed.valid = true;
  return ERROR_SUCCESS;
}

LONG FileRegistry::ResolveAndLoad(HKEY key, const char* subKey, OpenKey* target, const RegFile** file) {
  LONG status = Resolve(key, subKey, target);
  if (status != ERROR_SUCCESS) return status;
  return Load(target->hive, file);
}

LONG FileRegistry::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mutex_);
  OpenKey target;
  const RegFile* file = nullptr;
  LONG status = ResolveAndLoad(key, subKey, &target, &file);
  if (status != ERROR_SUCCESS) return status;
  std::string stored;
  if (!file->KeyExists(target.path, &stored)) return ERROR_FILE_NOT_FOUND;
  target.path = stored;
  *result = AddHandle(std::move(target));
  return ERROR_SUCCESS;
}

LONG FileRegistry::RegOpenKeyExA(HKEY key, const char* subKey, DWORD /*options*/, REGSAM /*desired*/,
                                 HKEY* result) {
  // The files carry no access rights of their own: every access is granted.
  return RegOpenKeyA(key, subKey, result);
}

LONG FileRegistry::RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mutex_);
  OpenKey target;
  const RegFile* file = nullptr;
  LONG status = ResolveAndLoad(key, subKey, &target, &file);
  if (status != ERROR_SUCCESS) return status;
  std::string stored;
  if (!file->KeyExists(target.path, &stored)) {
    int lockFd = Lock(target.hive, &status);
    if (lockFd < 0) return status;
    LockGuard guard(lockFd);
    // Read again under the lock: another process may have written meanwhile.
    status = Load(target.hive, &file);
    if (status != ERROR_SUCCESS) return status;
    if (!file->KeyExists(target.path, &stored)) {
      RegFile changed = *file;
      stored = changed.CreateKey(target.path);
      status = Save(target.hive, changed);
      if (status != ERROR_SUCCESS) return status;
    }
  }
  target.path = stored;
  *result = AddHandle(std::move(target));
  return ERROR_SUCCESS;
}

LONG FileRegistry::RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                    DWORD* cbData) {
  if (reserved != nullptr || (data != nullptr && cbData == nullptr)) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mutex_);
  OpenKey target;
  const RegFile* file = nullptr;
  LONG status = ResolveAndLoad(key, nullptr, &target, &file);
  if (status != ERROR_SUCCESS) return status;
  const RegValue* value = file->FindValue(target.path, valueName ? valueName : "");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  DWORD size = static_cast<DWORD>(value->data.size());
  if (type != nullptr) *type = value->type;
  if (data != nullptr) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    if (size > 0) std::memcpy(data, value->data.data(), size);
  }
  if (cbData != nullptr) *cbData = size;
  return ERROR_SUCCESS;
}

LONG FileRegistry::RegSetValueExA(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type,
                                  const BYTE* data, DWORD cbData) {
  const char* name = valueName ? valueName : "";
  if ((data == nullptr && cbData > 0) || cbData > kMaxRegValueBytes || !RegFile::ValidValueName(name)) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard lock(mutex_);
  OpenKey target;
  LONG status = Resolve(key, nullptr, &target);
  if (status != ERROR_SUCCESS) return status;
  int lockFd = Lock(target.hive, &status);
  if (lockFd < 0) return status;
  LockGuard guard(lockFd);
  const RegFile* file = nullptr;
  status = Load(target.hive, &file);
  if (status != ERROR_SUCCESS) return status;
  if (!file->KeyExists(target.path)) return ERROR_KEY_DELETED;
  RegFile changed = *file;
  changed.SetValue(target.path, name, type, data, cbData);
  return Save(target.hive, changed);
}

LONG FileRegistry::RegCloseKey(HKEY key) {
  if (HiveName(key) != nullptr) return ERROR_SUCCESS;  // the hive roots are never closed
  std::lock_guard lock(mutex_);
  return handles_.erase(key) == 1 ? static_cast<LONG>(ERROR_SUCCESS)
                                  : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

std::string DefaultRegistryDirectory() {
  const char* explicitDir = std::getenv("KIVO_REGISTRY_DIR");
  if (explicitDir != nullptr && *explicitDir != '\0') return explicitDir;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // The base directory rules ignore a relative XDG_CONFIG_HOME.
  if (config != nullptr && config[0] == '/') return std::string(config) + "/kivo";
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    struct passwd* entry = ::getpwuid(::getuid());
    home = entry ? entry->pw_dir : "/tmp";
  }
  return std::string(home) + "/.config/kivo";
}

std::unique_ptr<Registry> MakeFileRegistry(const std::string& directory) {
  return std::make_unique<FileRegistry>(directory);
}

}  // namespace kivo::platform
