// FileRegistry: the registry kept as ".reg" export files, one per hive
// (HKEY_USERS.reg, HKEY_LOCAL_MACHINE.reg) in one directory. Made through
// MakeFileRegistry (platform/Registry.h); this header is for its tests.
//
// Every operation reads the hive file again, so changes made by other
// processes (the emulator, the install step, another kivo) are seen at once;
// the text is parsed only when it differs from the one read last.
// A change is made under an exclusive flock of "<hive>.reg.lock", written to
// a temporary file, flushed with fsync and renamed over the hive file, so a
// reader never sees half a file and two writers never lose each other's
// values. A hive file that is a symbolic link is written through the link
// (the target is replaced, the link stays), and the file keeps its mode; a
// hive file without write permission is not replaced. The directory is made
// with mode 0700 on the first write.
//
// Statuses beyond the usual ones:
//   ERROR_REGISTRY_CORRUPT (1015)  the hive file does not parse (unknown value
//                                  type, over-long value, broken line); the
//                                  file is never rewritten, and the file, line
//                                  and reason go to standard error
//   ERROR_ACCESS_DENIED (5)        the hive file or directory may not be read
//                                  or written (a read-only hive file)
//   ERROR_CANTREAD (1012) / ERROR_CANTWRITE (1013)  other I/O failures
//   ERROR_BAD_PATHNAME (161)       a key path with an empty or over-long part
//   ERROR_KEY_DELETED (1018)       a value is written through a handle whose
//                                  key another process has removed
//   ERROR_INVALID_PARAMETER (87)   bad arguments, a value name over 16383
//                                  characters or data over 1 MiB
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/RegFile.h"
#include "platform/Registry.h"

namespace kivo::platform {

constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_KEY_DELETED = 1018;

class FileRegistry : public Registry {
 public:
  explicit FileRegistry(std::string directory);

  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) override;
  LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) override;
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* cbData) override;
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD cbData) override;
  LONG RegCloseKey(HKEY key) override;

  // The file that holds a hive ("<directory>/HKEY_USERS.reg").
  std::string HivePath(HKEY hive) const;

 private:
  struct OpenKey {
    HKEY hive;
    std::string path;
  };

  // The hive as last read and parsed.
  struct ParsedHive {
    bool valid = false;
    std::string text;
    RegFile file{""};
  };

  // Finds the hive and the full key path named by key + subKey.
  LONG Resolve(HKEY key, const char* subKey, OpenKey* target);
  // Reads the hive file; *file points into the cache (valid under mutex_
  // until the next Load or Save of that hive).
  LONG Load(HKEY hive, const RegFile** file);
  // Resolve, then Load of the key's hive.
  LONG ResolveAndLoad(HKEY key, const char* subKey, OpenKey* target, const RegFile** file);
  LONG Save(HKEY hive, const RegFile& file);
  // Takes the hive's lock file; -1 with the status in *status on failure.
  int Lock(HKEY hive, LONG* status);
  LONG EnsureDirectory();
  HKEY AddHandle(OpenKey key);
  // Writes the message to standard error unless it is the one last written
  // about `subject` (a file or directory).
  void Report(const std::string& subject, const std::string& message);

  std::string directory_;
  // Guards the handle table and the last report; the files are guarded by
  // their locks.
  std::mutex mutex_;
  std::map<HKEY, OpenKey> handles_;
  HKEY nextHandle_ = 0x1000;
  std::map<std::string, std::string> lastReport_;
  std::map<HKEY, ParsedHive> parsed_;
};

}  // namespace kivo::platform
