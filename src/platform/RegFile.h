// RegFile: one registry hive held in memory, read from and written to the
// ".reg" export text. Used by FileRegistry and by tools and tests that seed or
// inspect a hive file; it does no I/O itself. Keys are found through an index
// of their case-folded paths, so a hive of many keys parses in n log n.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Types.h"

namespace kivo::platform {

// Limits, as the Windows registry has them for names; one value's data is
// capped at 1 MiB and a hive file at 32 MiB so a damaged file cannot exhaust
// memory.
constexpr std::size_t kMaxRegKeyNameChars = 255;
constexpr std::size_t kMaxRegValueNameChars = 16383;
constexpr std::size_t kMaxRegValueBytes = 1024 * 1024;
constexpr std::size_t kMaxRegFileBytes = 32 * 1024 * 1024;

constexpr const char* kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegValue {
  std::string name;  // "" is the key's default value, written "@"
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegKey {
  std::string path;  // relative to the hive root, "" for the root itself
  std::vector<RegValue> values;
};

// Where and why a text did not parse; line counts from 1.
struct RegParseError {
  int line = 0;
  std::string what;
};

class RegFile {
 public:
  // `root` is the hive's name as the sections spell it, e.g. "HKEY_USERS".
  explicit RegFile(std::string root) : root_(std::move(root)) {}

  // Reads an export text. Accepts LF or CR LF line ends, an optional UTF-8
  // byte order mark, ";" comment lines and "\" continuation of hex data.
  // Anything else that is not understood fails the whole text: a section of
  // another hive, a deletion entry, an unknown data form, an over-long name or
  // value. On failure the object is left empty and `error` says where.
  bool Parse(std::string_view text, RegParseError* error);

  // The export text: header, blank line, then each key as a section followed
  // by its values and a blank line. REG_SZ and REG_DWORD use their readable
  // forms where the data allows; everything else is written as hex so that
  // types and bytes survive exactly.
  std::string Write() const;

  const std::string& Root() const { return root_; }
  const std::vector<RegKey>& Keys() const { return keys_; }

  // A key exists when it has a section or when a section lies below it (an
  // export may list only the deepest keys); the root always exists. Names
  // compare without regard to ASCII case. `stored` receives the stored
  // spelling where a section has one.
  bool KeyExists(std::string_view path, std::string* stored = nullptr) const;
  // Adds sections for the key and each missing parent; returns the stored
  // spelling of the key.
  std::string CreateKey(std::string_view path);
  const RegValue* FindValue(std::string_view keyPath, std::string_view name) const;
  // Replaces or adds the value in the key's section (made when missing).
  void SetValue(std::string_view keyPath, std::string_view name, DWORD type, const BYTE* data,
                std::size_t size);

  // Compares names as the registry does: ASCII letters without regard to case.
  static bool SameName(std::string_view a, std::string_view b);
  // Checks a relative key path: components of 1..255 characters without
  // control characters, separated by single "\"; "" is allowed.
  static bool ValidKeyPath(std::string_view path);
  // Checks a value name: at most 16383 characters, no NUL, CR or LF.
  static bool ValidValueName(std::string_view name);

 private:
  RegKey* FindKey(std::string_view path);
  const RegKey* FindKey(std::string_view path) const;
  RegKey& AddKey(std::string path);

  std::string root_;
  std::vector<RegKey> keys_;
  // Case-folded path of every section -> its place in keys_ (file order).
  std::map<std::string, std::size_t, std::less<>> index_;
};

}  // namespace kivo::platform
