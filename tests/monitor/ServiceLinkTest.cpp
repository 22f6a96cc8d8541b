// ServiceLink against a stand-in service on a temporary endpoint: the word
// and the id on the wire, the untouched word on every failure, a quiet
// shutdown request, and a bounded wait for a service that never answers.
#include "monitor/ServiceLink.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/ServiceRpc.h"
#include "platform/posix/RpcServer.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

class ServiceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kivo-link-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    server_.Stop();
    std::filesystem::remove_all(dir_);
  }

  void StartService() {
    std::string error;
    ASSERT_TRUE(server_.Listen(RpcEndpointPath(dir_, "KIVO"), &error)) << error;
  }

  RpcCallResult Answer(std::uint16_t opnum, std::span<const std::uint8_t> stub, const DataRep& callerRep,
                       const DataRep& replyRep) {
    std::lock_guard<std::mutex> lock(mutex_);
    opnums_.push_back(opnum);
    stubSizes_.push_back(stub.size());
    RpcCallResult result;
    if (opnum == 0) {
      std::uint16_t id = 0;
      DecodeNdrShort(stub, callerRep, &id);
      ids_.push_back(id);
      if (emptyAnswer_) return result;
      result.stub = EncodeNdrShort(word_, replyRep);
    }
    return result;
  }

  // Copies taken under the lock the server's threads write under.
  std::vector<std::uint16_t> Opnums() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opnums_;
  }
  std::vector<std::size_t> StubSizes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stubSizes_;
  }
  std::vector<std::uint16_t> Ids() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ids_;
  }

  std::string dir_;
  std::mutex mutex_;
  std::vector<std::uint16_t> opnums_;
  std::vector<std::size_t> stubSizes_;
  std::vector<std::uint16_t> ids_;
  std::uint16_t word_ = 0x0109;
  bool emptyAnswer_ = false;
  RpcServer server_{ServiceInterface(),
                    [this](std::uint16_t opnum, std::span<const std::uint8_t> stub, const DataRep& callerRep,
                           const DataRep& replyRep) { return Answer(opnum, stub, callerRep, replyRep); }};
};

TEST_F(ServiceLinkTest, FetchesTheWordOfTheController) {
  StartService();
  ServiceLink link(dir_);
  std::uint16_t word = 0;
  EXPECT_EQ(link.FetchNotification(3, &word), 0u);
  EXPECT_EQ(word, 0x0109);
  ASSERT_EQ(Ids().size(), 1u);
  EXPECT_EQ(Ids()[0], 3);
  EXPECT_EQ(Opnums()[0], 0);
  EXPECT_EQ(StubSizes()[0], 2u);
}

TEST_F(ServiceLinkTest, BigEndianServiceIsReadRight) {
  server_.SetDataRepresentation(kBigEndianDataRep);
  word_ = 0x020B;
  StartService();
  ServiceLink link(dir_);
  std::uint16_t word = 0;
  EXPECT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x020B);
}

TEST_F(ServiceLinkTest, IdsAreCutToTheirLow16Bits) {
  StartService();
  ServiceLink link(dir_);
  std::uint16_t word = 0;
  for (int id : {32767, 32768 + 5, 0x12345, -1}) ASSERT_EQ(link.FetchNotification(id, &word), 0u);
  EXPECT_EQ(Ids(), (std::vector<std::uint16_t>{0x7FFF, 0x8005, 0x2345, 0xFFFF}));
}

TEST_F(ServiceLinkTest, NoServiceLeavesTheWordUntouched) {
  ServiceLink link(dir_);
  std::uint16_t word = 0xBEEF;
  EXPECT_EQ(link.FetchNotification(0, &word), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(word, 0xBEEF);
  ServiceLink nowhere(dir_ + "/no/such/directory");
  EXPECT_NE(nowhere.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0xBEEF);
}

TEST_F(ServiceLinkTest, AnswerWithoutAWordIsAProtocolError) {
  emptyAnswer_ = true;
  StartService();
  ServiceLink link(dir_);
  std::uint16_t word = 0xBEEF;
  EXPECT_EQ(link.FetchNotification(0, &word), RPC_S_PROTOCOL_ERROR);
  EXPECT_EQ(word, 0xBEEF);
}

TEST_F(ServiceLinkTest, EveryCallBindsAfresh) {
  StartService();
  ServiceLink link(dir_);
  std::uint16_t word = 0;
  ASSERT_EQ(link.FetchNotification(1, &word), 0u);
  // A restarted service is reached at once: nothing of the old association is kept.
  server_.Stop();
  word = 0xBEEF;
  EXPECT_EQ(link.FetchNotification(1, &word), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(word, 0xBEEF);
  StartService();
  EXPECT_EQ(link.FetchNotification(1, &word), 0u);
  EXPECT_EQ(word, 0x0109);
}

TEST_F(ServiceLinkTest, SilentServiceFailsWithinTheTimeout) {
  // A socket that accepts connections into its queue and never answers.
  std::string path = RpcEndpointPath(dir_, "KIVO");
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  ServiceLink link(dir_);
  link.SetTimeout(150);
  std::uint16_t word = 0xBEEF;
  auto start = std::chrono::steady_clock::now();
  EXPECT_NE(link.FetchNotification(0, &word), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(word, 0xBEEF);
  start = std::chrono::steady_clock::now();
  link.ShutdownService();  // returns on its own too
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  close(fd);
}

TEST_F(ServiceLinkTest, ShutdownSendsProcedure1WithAnEmptyBody) {
  StartService();
  ServiceLink link(dir_);
  link.ShutdownService();
  ASSERT_EQ(Opnums().size(), 1u);
  EXPECT_EQ(Opnums()[0], 1);
  EXPECT_EQ(StubSizes()[0], 0u);
}

TEST_F(ServiceLinkTest, ShutdownWithoutServiceIsQuiet) {
  ServiceLink link(dir_);
  link.ShutdownService();
  EXPECT_TRUE(Opnums().empty());
}

}  // namespace
}  // namespace kivo::test
