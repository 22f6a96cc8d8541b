// kivo-report end to end: the real program against a running zelka-emulator,
// with the devices, the registry and the host version given through the
// environment. The time and computer name lines are masked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "report/Golden.h"

extern char** environ;

namespace kivo::test {
namespace {

std::string BinaryDir() {
  const char* dir = std::getenv("KIVO_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}
std::string SourceDir() {
  const char* dir = std::getenv("KIVO_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

struct Finished {
  int status = -1;
  std::string out;
  std::string err;
};

// Reads both pipes until both close or `ms` pass.
void Drain(int outFd, int errFd, std::string& out, std::string& err, int ms, const std::string& until = "") {
  std::vector<pollfd> fds;
  if (outFd >= 0) fds.push_back({outFd, POLLIN, 0});
  if (errFd >= 0) fds.push_back({errFd, POLLIN, 0});
  while (!fds.empty()) {
    if (::poll(fds.data(), fds.size(), ms) <= 0) return;
    for (std::size_t i = 0; i < fds.size();) {
      if (fds[i].revents == 0) {
        ++i;
        continue;
      }
      char buffer[4096];
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        fds.erase(fds.begin() + static_cast<long>(i));
        continue;
      }
      (fds[i].fd == outFd ? out : err).append(buffer, static_cast<std::size_t>(n));
      if (!until.empty() && err.find(until) != std::string::npos) return;
      ++i;
    }
  }
}

// Standard output goes to `stdoutFd` when one is given, else to *outFd.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int* outFd, int* errFd,
            int stdoutFd = -1) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, stdoutFd >= 0 ? stdoutFd : out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const auto& mine : env)
      replaced = replaced || entry.substr(0, entry.find('=')) == mine.substr(0, mine.find('='));
    if (!replaced) environment.push_back(entry);
  }
  for (const auto& mine : env) environment.push_back(mine);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(out[0]);
    ::close(err[0]);
    return -1;
  }
  *outFd = out[0];
  *errFd = err[0];
  return pid;
}

// Replaces the rest of every line that starts with `prefix` by "<masked>".
std::string Mask(std::string text, const std::string& prefix) {
  for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
    if (at != 0 && text[at - 1] != '\n') continue;
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    text.replace(at + prefix.size(), end - at - prefix.size(), "<masked>");
  }
  return text;
}

class KivoReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kivo-report-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    registryDir = dir + "/registry";
    ASSERT_EQ(::mkdir(registryDir.c_str(), 0700), 0);
  }
  void TearDown() override {
    StopEmulator();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  void SeedMachineHive(const std::string& productType, const std::string& serviceVersion) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (!productType.empty()) {
      text +=
          "[HKEY_LOCAL_"
          "MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]"
          "\r\n\"ProductType\"=\"" +
          productType + "\"\r\n\r\n";
    }
    if (!serviceVersion.empty()) {
      text +=
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Zelka "
          "Storage Controller]\r\n"
          "\"Service Version\"=\"" +
          serviceVersion + "\"\r\n\r\n";
    }
    WriteFile(registryDir + "/HKEY_LOCAL_MACHINE.reg", text);
  }

  void StartEmulator(const std::string& worldPath) {
    int outFd = -1;
    int errFd = -1;
    emulator = Spawn({BinaryDir() + "/emulator/zelka-emulator", "--world", worldPath, "--device-dir",
                      dir + "/devices", "--rpc-dir", dir + "/rpc", "--http-port", "0"},
                     {"KIVO_REGISTRY_DIR=" + registryDir}, &outFd, &errFd);
    ASSERT_GT(emulator, 0);
    std::string out;
    std::string err;
    Drain(-1, errFd, out, err, 20000, "zelka-emulator: ready");
    emulatorErr = errFd;
    ::close(outFd);
    ASSERT_NE(err.find("zelka-emulator: ready"), std::string::npos) << err;
  }
  void StopEmulator() {
    if (emulator <= 0) return;
    ::kill(emulator, SIGTERM);
    int status = 0;
    ::waitpid(emulator, &status, 0);
    ::close(emulatorErr);
    emulator = -1;
  }

  Finished RunReport(const std::string& osVersion, const std::vector<std::string>& arguments = {},
                     int stdoutFd = -1) {
    std::vector<std::string> env = {"KIVO_DEVICE_DIR=" + dir + "/devices", "KIVO_REGISTRY_DIR=" + registryDir,
                                    "KIVO_RPC_DIR=" + dir + "/rpc", "TZ=UTC"};
    if (!osVersion.empty()) env.push_back("KIVO_OS_VERSION=" + osVersion);
    int outFd = -1;
    int errFd = -1;
    Finished result;
    std::vector<std::string> argv = {BinaryDir() + "/src/app/cli/kivo-report"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_t pid = Spawn(argv, env, &outFd, &errFd, stdoutFd);
    if (pid <= 0) return result;
    Drain(outFd, errFd, result.out, result.err, 60000);
    ::close(outFd);
    ::close(errFd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
  }

  // Names the directory searched and how to name another: a user's shell
  // does not see the services' settings.
  std::string NoControllerText() const {
    return "kivo-report: no controller found in " + dir +
           "/devices (KIVO_DEVICE_DIR names another device directory; the services take it from "
           "/etc/default/kivo)\n";
  }

  std::string World(const std::string& name) { return SourceDir() + "/tests/report/worlds/" + name; }

  std::string dir;
  std::string registryDir;
  pid_t emulator = -1;
  int emulatorErr = -1;
};

std::string Masked(const std::string& report) {
  return Mask(Mask(report, "Zelka Disk information gathered at "), "Computer Name: ");
}

TEST_F(KivoReportTest, WindowsHostReportOfTwoHealthyControllers) {
  SeedMachineHive("WINNT", "2.3.0.11");
  StartEmulator(World("default.json"));
  Finished run = RunReport("5.0.2195.2.Service Pack 4");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  ExpectGolden("kivo-report-w2k.txt", Masked(run.out));
  EXPECT_NE(run.out.find("\r\nMicrosoft Windows 2000 Professional (5.0 Build "
                         "2195) Service Pack 4\r\n\r\n"),
            std::string::npos);
}

TEST_F(KivoReportTest, DegradedUnitGivesStatusTwo) {
  StartEmulator(World("two-controllers.json"));
  Finished run = RunReport("");
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.out.find("Degraded Incomplete"), std::string::npos);
}

TEST_F(KivoReportTest, InaccessibleDriveGivesStatusTwo) {
  StartEmulator(World("raid10.json"));
  EXPECT_EQ(RunReport("").status, 2);
}

TEST_F(KivoReportTest, NoControllerMakesTheReportIncomplete) {
  StartEmulator(World("none.json"));
  Finished run = RunReport("");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, NoControllerText());
  EXPECT_NE(run.out.find("Disk controller not present or unreachable.\r\n"), std::string::npos);
}

// A device call failing with a system error while a controller is read leaves
// a hole in its section: the report is incomplete and standard error names
// the controller. A driver that stops answering costs seconds, not minutes.
TEST_F(KivoReportTest, DeviceCallFailingDuringTheScanMakesTheReportIncomplete) {
  struct Row {
    const char* fault;
    const char* err;
  };
  const Row rows[] = {
      {"\"disconnect\": true", "first with system error 1167\n"},
      {"\"silent\": true", "first with system error 31\n"},
      {"\"error\": 6", "first with system error 6\n"},
  };
  for (const Row& row : rows) {
    const std::string world = dir + "/fault.json";
    WriteFile(world, std::string("{\"controllers\": [{\"port\": 3, \"drives\": [{\"port\": 0, \"sectors\": "
                                 "2048}], \"units\": [{\"number\": 0, \"type\": 15, \"port\": 0}], "
                                 "\"faults\": {\"parameters\": [{\"table\": \"0x300\", \"parameter\": 4, ") +
                         row.fault + "}]}}]}");
    StartEmulator(world);
    Finished run = RunReport("");
    StopEmulator();
    EXPECT_EQ(run.status, 1) << row.fault << "\n" << run.err;
    EXPECT_EQ(run.err.rfind("kivo-report: controller 3 was not read completely: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
  }
}

TEST_F(KivoReportTest, DriverLevelMismatchGoesToStandardErrorAndGivesStatusOne) {
  std::string world = dir + "/level7.json";
  WriteFile(world,
            "{\"controllers\": [{\"port\": 0, \"level\": 7, \"extra\": "
            "1, \"drives\": [{\"port\": 0, \"model\": "
            "\"D\", \"sectors\": 2048}], \"units\": [{\"number\": 0, "
            "\"type\": 15, \"port\": 0}]}]}");
  StartEmulator(world);
  Finished run = RunReport("");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Zelka Error Message: This version of Kivo is "
                          "incompatible with your currently installed "
                          "driver. The Kivo version is older than the driver.",
                          0),
            0u)
      << run.err;
  const std::string ending =
      "A more recent version of Kivo can be found at: http://www.zelka.example/support.\r\n";
  ASSERT_GE(run.out.size(), ending.size());
  EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
}

TEST_F(KivoReportTest, ABadArgumentIsNamed) {
  struct Row {
    std::vector<std::string> arguments;
    int status;
    const char* err;
  };
  const Row rows[] = {
      {{"--bogus"}, 64, "kivo-report: unknown argument '--bogus'\nusage: "},
      {{"--prometheus"}, 64, "kivo-report: --prometheus needs a FILE\nusage: "},
      {{"--prometheus", "f", "x"}, 64, "kivo-report: unknown argument 'x'\nusage: "},
      {{"--help"}, 0, ""},
  };
  for (const Row& row : rows) {
    Finished run = RunReport("", row.arguments);
    EXPECT_EQ(run.status, row.status) << row.arguments[0];
    EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
  }
}

// Twelve controllers of sixteen mirrors each: a report of 36 KB (JSON 265 KB,
// metrics 238 KB), more than standard output's buffer and a small file system.
std::string TwelveControllers() {
  std::string controllers;
  for (int id = 0; id < 12; ++id) {
    controllers +=
        std::string(id == 0 ? "" : ",") + "{\"port\": " + std::to_string(id) +
        ", \"drives\": [{\"port\": 0, \"model\": \"KD-4000 ATA Disk\", \"sectors\": 2048}], \"units\": [";
    for (int n = 0; n < 16; ++n) {
      controllers += std::string(n == 0 ? "" : ",") + "{\"number\": " + std::to_string(n) +
                     ", \"type\": 1, \"members\": [0, 0, 0, 0]}";
    }
    controllers += "]}";
  }
  return "{\"controllers\": [" + controllers + "]}";
}

const std::vector<std::string> kFaces[] = {{}, {"--json"}, {"--check"}};
constexpr char kFull[] = "kivo-report: standard output: No space left on device\n";

// Each face exits with 1 and says why when its output is not written whole:
// a full device, a reader that went away.
TEST_F(KivoReportTest, EveryFaceFailsWhenItsOutputCannotBeWritten) {
  WriteFile(dir + "/twelve.json", TwelveControllers());
  StartEmulator(dir + "/twelve.json");
  for (const std::vector<std::string>& face : kFaces) {
    SCOPED_TRACE(face.empty() ? "report" : face[0]);
    int sink = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    Finished run = RunReport("", face, sink);
    ::close(sink);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kFull), std::string::npos) << run.err;

    int lost[2];
    ASSERT_EQ(::pipe2(lost, O_CLOEXEC), 0);
    ::close(lost[0]);
    run = RunReport("", face, lost[1]);
    ::close(lost[1]);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("kivo-report: standard output: Broken pipe\n"), std::string::npos) << run.err;
  }
}

// ... and a small file system that fills up part-way (a tmpfs of 16 KB; the
// check's one line fits).
TEST_F(KivoReportTest, EveryFaceFailsWhenItsFileSystemFillsUp) {
  const std::string full = dir + "/full";
  ASSERT_EQ(::mkdir(full.c_str(), 0700), 0);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=16k") != 0)
    GTEST_SKIP() << "a file system of 16 KB needs root: " << std::strerror(errno);
  std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount(full.c_str()); });
  WriteFile(dir + "/twelve.json", TwelveControllers());
  StartEmulator(dir + "/twelve.json");
  for (const std::vector<std::string>& face : {kFaces[0], kFaces[1]}) {
    SCOPED_TRACE(face.empty() ? "report" : face[0]);
    int sink = ::open((full + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Finished run = RunReport("", face, sink);
    ::close(sink);
    ::unlink((full + "/out").c_str());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kFull), std::string::npos) << run.err;
  }
  Finished run = RunReport("", {"--prometheus", full + "/kivo.prom"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(full), std::filesystem::directory_iterator()),
            0);
}

TEST_F(KivoReportTest, NoEmulatorAtAllMeansNoController) {
  Finished run = RunReport("");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, NoControllerText());
  EXPECT_NE(run.out.find("Disk controller not present or unreachable."), std::string::npos);
}

}  // namespace
}  // namespace kivo::test
