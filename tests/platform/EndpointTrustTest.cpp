// Which directories may hold this user's endpoints: the modes of the
// directory and of its parents, things that are not directories, and the
// peer of a connection.
#include "platform/EndpointTrust.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/ServiceRpc.h"
#include "support/TempDir.h"

namespace kivo::platform {
namespace {

TEST(EndpointTrustTest, OnlyAPrivateDirectoryUnderSafeParentsIsTrusted) {
  struct Case {
    mode_t parent;
    mode_t directory;
    const char* refusal;  // nullptr: trusted
  } const cases[] = {
      {0700, 0700, nullptr},
      {0755, 0755, nullptr},
      {01777, 0700, nullptr},  // as under /tmp
      {0700, 0770, "may be written by other users"},
      {0700, 0703, "may be written by other users"},
      {0777, 0700, "which other users may write"},
      {0775, 0700, "which other users may write"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string path = dir.File("endpoints");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    ::chmod(path.c_str(), c.directory);
    ::chmod(dir.Path().c_str(), c.parent);
    const std::string reason = UntrustedDirectoryReason(path);
    if (c.refusal == nullptr) {
      EXPECT_EQ(reason, "") << std::oct << c.parent << " " << c.directory;
    } else {
      EXPECT_NE(reason.find(c.refusal), std::string::npos)
          << std::oct << c.parent << " " << c.directory << reason;
    }
  }
}

TEST(EndpointTrustTest, MissingIsLeftToItsMakerAndAFileIsRefused) {
  test::TempDir dir;
  EXPECT_EQ(UntrustedDirectoryReason(dir.File("not-yet")), "");
  std::ofstream(dir.File("file")) << "x";
  EXPECT_EQ(UntrustedDirectoryReason(dir.File("file")), dir.File("file") + " is not a directory");
}

TEST(EndpointTrustTest, ThePeerOfOwnSocketIsThisUser) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  EXPECT_EQ(PeerUid(pair[0]), static_cast<long>(::geteuid()));
  EXPECT_TRUE(IsTrustedUid(PeerUid(pair[0])));
  EXPECT_FALSE(IsTrustedUid(-1));
  ::close(pair[0]);
  ::close(pair[1]);
}

// Without $XDG_RUNTIME_DIR the lock, the command socket and the local RPC
// endpoints share one folder of this user in /tmp.
TEST(EndpointTrustTest, WithoutARuntimeDirectoryEveryEndpointLivesInTheUsersTmpFolder) {
  const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
  const char* savedRpc = std::getenv("KIVO_RPC_DIR");
  const std::string runtime = savedRuntime != nullptr ? savedRuntime : "";
  const std::string rpc = savedRpc != nullptr ? savedRpc : "";
  ::unsetenv("XDG_RUNTIME_DIR");
  ::unsetenv("KIVO_RPC_DIR");
  const std::string folder = "/tmp/kivo-" + std::to_string(::getuid());
  EXPECT_EQ(FallbackRuntimeDirectory(), folder);
  EXPECT_EQ(UserRuntimeDirectory(), folder);
  EXPECT_EQ(DefaultRpcDirectory(), folder + "/ncalrpc");
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(UserRuntimeDirectory(), "/run/user/4242");
  EXPECT_EQ(DefaultRpcDirectory(), "/run/user/4242/kivo/ncalrpc");
  if (runtime.empty())
    ::unsetenv("XDG_RUNTIME_DIR");
  else
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  if (!rpc.empty()) ::setenv("KIVO_RPC_DIR", rpc.c_str(), 1);
}

}  // namespace
}  // namespace kivo::platform
