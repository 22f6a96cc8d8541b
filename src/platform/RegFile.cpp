// RegFile: the ".reg" export text reader and writer and the in-memory hive
// operations FileRegistry builds on.
#include "platform/RegFile.h"

#include <algorithm>
#include <cstdio>

namespace kivo::platform {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path as the index holds it: ASCII letters folded to lower case.
std::string Folded(std::string_view path) {
  std::string folded(path);
  for (char& c : folded) c = Lower(c);
  return folded;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits the text into lines without their LF or CR LF.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Reads a quoted text starting after its opening quote; "\\" and "\"" are
// the only escapes. `rest` is left after the closing quote.
bool ReadQuoted(std::string_view& rest, std::string* out, std::size_t limit, std::string* what) {
  out->clear();
  while (!rest.empty()) {
    char c = rest.front();
    rest.remove_prefix(1);
    if (c == '"') return true;
    if (c == '\\') {
      if (rest.empty() || (rest.front() != '\\' && rest.front() != '"')) {
        *what = "unknown escape in quoted text (only \\\\ and \\\" are allowed)";
        return false;
      }
      c = rest.front();
      rest.remove_prefix(1);
    } else if (c == '\0') {
      *what = "NUL byte in quoted text";
      return false;
    }
    if (out->size() >= limit) {
      *what = "quoted text longer than the limit";
      return false;
    }
    out->push_back(c);
  }
  *what = "quoted text without its closing quote";
  return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

// REG_SZ data that the quoted form reproduces exactly: one terminating NUL,
// no other NUL and no line break.
bool QuotableString(const RegValue& value) {
  if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
    BYTE b = value.data[i];
    if (b == 0 || b == '\r' || b == '\n') return false;
  }
  return true;
}

void AppendHex(std::string& out, const RegValue& value) {
  static const char digits[] = "0123456789abcdef";
  char prefix[24];
  if (value.type == REG_BINARY) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
  }
  out += prefix;
  // Long data is wrapped as the export format does: ",\" then a new line
  // indented by two blanks.
  std::size_t lineStart = out.rfind('\n') + 1;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (i > 0) {
      out.push_back(',');
      if (out.size() - lineStart > 76) {
        out += "\\\n  ";
        lineStart = out.size() - 2;
      }
    }
    out.push_back(digits[value.data[i] >> 4]);
    out.push_back(digits[value.data[i] & 15]);
  }
}

}  // namespace

bool RegFile::SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool RegFile::ValidValueName(std::string_view name) {
  if (name.size() > kMaxRegValueNameChars) return false;
  // Any byte except those that would end the line the name is written on.
  for (char c : name) {
    if (c == '\0' || c == '\r' || c == '\n') return false;
  }
  return true;
}

bool RegFile::ValidKeyPath(std::string_view path) {
  if (path.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view part =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || part.size() > kMaxRegKeyNameChars) return false;
    for (char c : part) {
      if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

RegKey* RegFile::FindKey(std::string_view path) {
  auto found = index_.find(Folded(path));
  return found == index_.end() ? nullptr : &keys_[found->second];
}

const RegKey* RegFile::FindKey(std::string_view path) const {
  auto found = index_.find(Folded(path));
  return found == index_.end() ? nullptr : &keys_[found->second];
}

RegKey& RegFile::AddKey(std::string path) {
  index_.emplace(Folded(path), keys_.size());
  keys_.push_back(RegKey{std::move(path), {}});
  return keys_.back();
}

bool RegFile::KeyExists(std::string_view path, std::string* stored) const {
  if (path.empty()) {
    if (stored) stored->clear();
    return true;
  }
  if (const RegKey* key = FindKey(path)) {
    if (stored) *stored = key->path;
    return true;
  }
  // A section below the key: the first path that begins with "path\".
  const std::string below = Folded(path) + "\\";
  auto next = index_.lower_bound(below);
  if (next == index_.end() || next->first.compare(0, below.size(), below) != 0) return false;
  if (stored) *stored = keys_[next->second].path.substr(0, path.size());
  return true;
}

std::string RegFile::CreateKey(std::string_view path) {
  std::string built;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string candidate = built;
    if (!candidate.empty()) candidate.push_back('\\');
    candidate.append(path.substr(start, end - start));
    std::string stored;
    built = KeyExists(candidate, &stored) ? stored : candidate;
    if (FindKey(built) == nullptr) AddKey(built);
    start = end + 1;
  }
  return built;
}

const RegValue* RegFile::FindValue(std::string_view keyPath, std::string_view name) const {
  const RegKey* key = FindKey(keyPath);
  if (key == nullptr) return nullptr;
  for (const RegValue& value : key->values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

void RegFile::SetValue(std::string_view keyPath, std::string_view name, DWORD type, const BYTE* data,
                       std::size_t size) {
  RegKey* key = FindKey(keyPath);
  if (key == nullptr) {
    if (keyPath.empty()) {
      AddKey(std::string());
    } else {
      CreateKey(keyPath);
    }
    key = FindKey(keyPath);
  }
  std::vector<BYTE> bytes(data, data + size);
  for (RegValue& value : key->values) {
    if (SameName(value.name, name)) {
      value.type = type;
      value.data = std::move(bytes);
      return;
    }
  }
  key->values.push_back(RegValue{std::string(name), type, std::move(bytes)});
}

bool RegFile::Parse(std::string_view text, RegParseError* error) {
  keys_.clear();
  index_.clear();
  RegParseError scratch;
  if (error == nullptr) error = &scratch;
  auto fail = [&](int line, std::string what) {
    keys_.clear();
    index_.clear();
    error->line = line;
    error->what = std::move(what);
    return false;
  };
  if (text.size() > kMaxRegFileBytes) return fail(0, "file larger than 32 MiB");
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines = SplitLines(text);

  // An empty text (a file created but never written) is an empty hive.
  bool allBlank = true;
  for (std::string_view line : lines) {
    if (!TrimBlanks(line).empty()) allBlank = false;
  }
  if (allBlank) return true;
  if (TrimBlanks(lines[0]) != kRegFileHeader) {
    return fail(1, std::string("first line is not \"") + kRegFileHeader + "\"");
  }

  RegKey* current = nullptr;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    int lineNumber = static_cast<int>(i + 1);
    std::string_view line = lines[i];
    std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 2)
        return fail(lineNumber, "key section without its closing \"]\"");
      std::string_view name = line.substr(1, line.size() - 2);
      if (!name.empty() && name.front() == '-') {
        return fail(lineNumber, "key deletion entry (\"[-...]\") in a stored hive");
      }
      std::string_view path;
      if (SameName(name, root_)) {
        path = {};
      } else if (name.size() > root_.size() && name[root_.size()] == '\\' &&
                 SameName(name.substr(0, root_.size()), root_)) {
        path = name.substr(root_.size() + 1);
      } else {
        return fail(lineNumber, "key outside " + root_);
      }
      if (!ValidKeyPath(path))
        return fail(lineNumber, "invalid key name (empty, over 255 characters or control character)");
      current = FindKey(path);
      if (current == nullptr) current = &AddKey(std::string(path));
      continue;
    }

    if (line.front() != '"' && line.front() != '@')
      return fail(lineNumber, "line is neither a key nor a value");
    if (current == nullptr) return fail(lineNumber, "value before the first key");

    std::string_view rest = line;
    std::string name;
    std::string what;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      rest.remove_prefix(1);
      if (!ReadQuoted(rest, &name, kMaxRegValueNameChars, &what))
        return fail(lineNumber, "value name: " + what);
      if (!ValidValueName(name)) return fail(lineNumber, "value name holds a line break");
    }
    rest = TrimBlanks(rest);
    if (rest.empty() || rest.front() != '=') return fail(lineNumber, "value name not followed by \"=\"");
    rest = TrimBlanks(rest.substr(1));

    RegValue value;
    value.name = name;
    if (!rest.empty() && rest.front() == '"') {
      rest.remove_prefix(1);
      std::string content;
      if (!ReadQuoted(rest, &content, kMaxRegValueBytes - 1, &what))
        return fail(lineNumber, "string value: " + what);
      if (!TrimBlanks(rest).empty())
        return fail(lineNumber, "text after the closing quote of a string value");
      value.type = REG_SZ;
      value.data.assign(content.begin(), content.end());
      value.data.push_back(0);
    } else if (rest.substr(0, 6) == "dword:") {
      std::string_view digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8) return fail(lineNumber, "dword value needs 1 to 8 hex digits");
      DWORD number = 0;
      for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return fail(lineNumber, "dword value needs 1 to 8 hex digits");
        number = number * 16 + static_cast<DWORD>(d);
      }
      value.type = REG_DWORD;
      for (int b = 0; b < 4; ++b) value.data.push_back(static_cast<BYTE>(number >> (8 * b)));
    } else if (rest.substr(0, 3) == "hex") {
      rest.remove_prefix(3);
      value.type = REG_BINARY;
      if (!rest.empty() && rest.front() == '(') {
        std::size_t close = rest.find(')');
        if (close == std::string_view::npos || close < 2 || close > 9) {
          return fail(lineNumber, "hex(n) value type needs 1 to 8 hex digits");
        }
        DWORD type = 0;
        for (char c : rest.substr(1, close - 1)) {
          int d = HexDigit(c);
          if (d < 0) return fail(lineNumber, "hex(n) value type needs 1 to 8 hex digits");
          type = type * 16 + static_cast<DWORD>(d);
        }
        value.type = type;
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest.front() != ':') return fail(lineNumber, "unknown value type");
      rest.remove_prefix(1);
      // The byte list, continued over following lines while a line ends in "\".
      while (true) {
        rest = TrimBlanks(rest);
        bool continued = !rest.empty() && rest.back() == '\\';
        if (continued) rest.remove_suffix(1);
        while (!rest.empty()) {
          rest = TrimBlanks(rest);
          if (rest.empty()) break;
          int high = HexDigit(rest.front());
          if (high < 0) return fail(lineNumber, "hex data: expected two hex digits");
          int byte = high;
          rest.remove_prefix(1);
          if (!rest.empty() && HexDigit(rest.front()) >= 0) {
            byte = byte * 16 + HexDigit(rest.front());
            rest.remove_prefix(1);
          }
          if (value.data.size() >= kMaxRegValueBytes) return fail(lineNumber, "value longer than 1 MiB");
          value.data.push_back(static_cast<BYTE>(byte));
          rest = TrimBlanks(rest);
          if (rest.empty()) break;
          if (rest.front() != ',') return fail(lineNumber, "hex data: expected \",\" between bytes");
          rest.remove_prefix(1);
          if (TrimBlanks(rest).empty() && !continued) return fail(lineNumber, "hex data ends with \",\"");
        }
        if (!continued) break;
        if (i + 1 >= lines.size()) return fail(lineNumber, "hex data continued past the end of the file");
        rest = lines[++i];
        lineNumber = static_cast<int>(i + 1);
      }
    } else if (!rest.empty() && rest.front() == '-') {
      return fail(lineNumber, "value deletion entry (\"=-\") in a stored hive");
    } else {
      return fail(lineNumber, "unknown value type");
    }
    // A repeated value in one key: the later one wins, as an import has it.
    current->values.erase(std::remove_if(current->values.begin(), current->values.end(),
                                         [&](const RegValue& v) { return SameName(v.name, value.name); }),
                          current->values.end());
    current->values.push_back(std::move(value));
  }
  return true;
}

std::string RegFile::Write() const {
  std::string out = kRegFileHeader;
  out += "\n\n";
  for (const RegKey& key : keys_) {
    out += "[";
    out += root_;
    if (!key.path.empty()) {
      out += "\\";
      out += key.path;
    }
    out += "]\n";
    for (const RegValue& value : key.values) {
      if (value.name.empty()) {
        out += "@";
      } else {
        AppendQuoted(out, value.name);
      }
      out += "=";
      if (QuotableString(value)) {
        AppendQuoted(
            out, std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
      } else if (value.type == REG_DWORD && value.data.size() == 4) {
        char text[16];
        unsigned number = static_cast<unsigned>(value.data[0]) | static_cast<unsigned>(value.data[1]) << 8 |
                          static_cast<unsigned>(value.data[2]) << 16 |
                          static_cast<unsigned>(value.data[3]) << 24;
        std::snprintf(text, sizeof text, "dword:%08x", number);
        out += text;
      } else {
        AppendHex(out, value);
      }
      out += "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace kivo::platform
