// Fuzz target of the ".reg" hive reader: any bytes either fail cleanly or
// give a hive whose written text reads back to the same hive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kivo::platform::RegFile;
  RegFile file("HKEY_USERS");
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!file.Parse(text, nullptr)) {
    if (!file.Keys().empty()) std::abort();  // a failed read leaves nothing behind
    return 0;
  }
  std::string written = file.Write();
  RegFile again("HKEY_USERS");
  kivo::platform::RegParseError error;
  if (!again.Parse(written, &error)) std::abort();
  if (again.Write() != written) std::abort();
  if (again.Keys().size() != file.Keys().size()) std::abort();
  return 0;
}
