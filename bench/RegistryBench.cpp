// Settings reads over a large hive file: one read of the e-mail settings from
// a valid HKEY_USERS hive of 20,000 keys (the file unchanged between reads, as
// a running utility meets it), and the parse such a file costs when it does
// change.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mail/SettingsStore.h"
#include "platform/posix/FileRegistry.h"
#include "platform/RegFile.h"

namespace {

using namespace kivo;

constexpr int kKeys = 20000;

// The export text: the utility's "Email" key among 20,000 keys of one value each.
std::string LargeHiveText() {
  std::string text = std::string(platform::kRegFileHeader) + "\n\n";
  char line[160];
  for (int i = 0; i < kKeys - 1; ++i) {
    std::snprintf(line, sizeof line,
                  "[HKEY_USERS\\.DEFAULT\\Software\\Vendor%03d\\Product%05d]\n\"Value\"=dword:%08x\n\n",
                  i % 500, i, static_cast<unsigned>(i));
    text += line;
  }
  text +=
      "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Email]\n\"Host\"=\"mail.example\"\n\"ToID\"=\"ops@"
      "example\"\n"
      "\"FromID\"=\"kivo@example\"\n\"FromName\"=\"Kivo\"\n\"SendEmail\"=dword:00000001\n\n";
  return text;
}

struct LargeHive {
  LargeHive() {
    char pattern[] = "/tmp/kivo-regbench-XXXXXX";
    directory = ::mkdtemp(pattern);
    text = LargeHiveText();
    std::ofstream(directory + "/HKEY_USERS.reg", std::ios::binary) << text;
  }
  ~LargeHive() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
  std::string directory;
  std::string text;
};

void BM_EmailSettingsReadFromA20000KeyHive(benchmark::State& state) {
  LargeHive hive;
  platform::FileRegistry registry(hive.directory);
  for (auto _ : state) {
    EmailSettings settings;
    LoadEmailSettings(registry, settings);
    if (settings.Host != "mail.example") state.SkipWithError("settings not read");
    benchmark::DoNotOptimize(settings);
  }
}
BENCHMARK(BM_EmailSettingsReadFromA20000KeyHive)->Unit(benchmark::kMillisecond);

void BM_ParseA20000KeyHive(benchmark::State& state) {
  const std::string text = LargeHiveText();
  for (auto _ : state) {
    platform::RegFile file("HKEY_USERS");
    if (!file.Parse(text, nullptr)) state.SkipWithError("hive does not parse");
    benchmark::DoNotOptimize(file);
  }
}
BENCHMARK(BM_ParseA20000KeyHive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
