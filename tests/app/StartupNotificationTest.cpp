// The remove message of the startup-notification protocol, with which a
// second start tells the launcher it is done: its quoting and its pieces.
#include "app/StartupNotification.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

TEST(StartupNotificationTest, RemoveMessageQuotesWhatNeedsIt) {
  EXPECT_EQ(StartupRemoveMessage("openbox-42-host-kivo-0_TIME123"),
            "remove: ID=openbox-42-host-kivo-0_TIME123");
  EXPECT_EQ(StartupRemoveMessage("a b\"c\\d"), "remove: ID=\"a b\\\"c\\\\d\"");
}

TEST(StartupNotificationTest, PiecesCarryTheMessageAndItsEndInTwentyBytes) {
  struct Case {
    std::size_t length;
    std::size_t pieces;
  } const cases[] = {{0, 1}, {19, 1}, {20, 2}, {21, 2}, {39, 2}, {40, 3}};
  for (const Case& c : cases) {
    const std::string message(c.length, 'm');
    const auto pieces = StartupMessagePieces(message);
    ASSERT_EQ(pieces.size(), c.pieces) << c.length;
    std::string joined;
    for (const auto& piece : pieces) joined.append(piece.data(), piece.size());
    EXPECT_EQ(joined.substr(0, c.length), message);
    EXPECT_EQ(joined[c.length], '\0') << "the message's end is sent";
  }
}

}  // namespace
}  // namespace kivo
