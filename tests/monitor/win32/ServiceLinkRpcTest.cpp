// ServiceLink through rpcrt4 against the emulator's service side in the same
// process (ncalrpc, endpoint "KIVO", stubs from the project's IDL).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "emulator/ControlCommand.h"
#include "emulator/World.h"
#include "emulator/win32/ServiceServer.h"
#include "monitor/ServiceLink.h"

namespace kivo {
namespace {

class ServiceLinkRpcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator::BuildDefaultWorld(world);
    service.SetShutdownHandler([this] { shutdowns++; });
    std::string error;
    ASSERT_TRUE(service.Start(&error)) << error;
    link.SetTimeout(2000);
  }
  void Queue(const char* controller, const char* code, const char* unit) {
    ASSERT_TRUE(emulator::RunControlCommand(world, &service, {"aen", controller, code, unit}).ok);
  }

  emulator::World world;
  emulator::ServiceServer service{world};
  ServiceLink link{""};
  std::atomic<int> shutdowns{0};
};

TEST_F(ServiceLinkRpcTest, FetchesTheQueuedWordsInOrder) {
  Queue("0", "9", "1");
  Queue("0", "2", "0");
  std::uint16_t word = 0xBEEF;
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x0109);
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x0002);
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0u);
}

TEST_F(ServiceLinkRpcTest, IdsAreCutToTheirLow16Bits) {
  Queue("1", "5", "0");
  std::uint16_t word = 0;
  ASSERT_EQ(link.FetchNotification(0x10001, &word), 0u);
  EXPECT_EQ(word, 0x0005);
}

TEST_F(ServiceLinkRpcTest, ShutdownReachesTheService) {
  link.ShutdownService();
  EXPECT_EQ(shutdowns.load(), 1);
}

TEST_F(ServiceLinkRpcTest, AStoppedServiceFailsTheCallAndKeepsTheWord) {
  ASSERT_TRUE(emulator::RunControlCommand(world, &service, {"service-stop"}).ok);
  std::uint16_t word = 0xBEEF;
  EXPECT_NE(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0xBEEF);
  ASSERT_TRUE(emulator::RunControlCommand(world, &service, {"service-start"}).ok);
  EXPECT_EQ(link.FetchNotification(0, &word), 0u);
}

}  // namespace
}  // namespace kivo
