// Golden files: whole reports kept byte for byte in tests/report/golden/.
// KIVO_UPDATE_GOLDEN=1 rewrites them from the run (review the diff before
// committing).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace kivo::test {

inline std::string GoldenPath(const std::string& name) {
  const char* source = std::getenv("KIVO_SOURCE_DIR");
  return std::string(source != nullptr ? source : ".") + "/tests/report/golden/" + name;
}

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Shows CR, LF and TAB so that a failing comparison can be read.
inline std::string Visible(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

inline void ExpectGolden(const std::string& name, const std::string& actual) {
  const std::string path = GoldenPath(name);
  const char* update = std::getenv("KIVO_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << actual;
    return;
  }
  const std::string expected = ReadWhole(path);
  ASSERT_FALSE(expected.empty()) << "missing golden file " << path;
  if (expected == actual) return;
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::size_t from = at > 80 ? at - 80 : 0;
  ADD_FAILURE() << name << " differs at byte " << at << "\n--- expected from byte " << from << ":\n"
                << Visible(expected.substr(from, 200)) << "\n--- actual from byte " << from << ":\n"
                << Visible(actual.substr(from, 200));
}

}  // namespace kivo::test
