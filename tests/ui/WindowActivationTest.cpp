// Activating a window: the request waits for the window to be mapped, carries
// the token it was handed (once), and a window still not active a moment
// later is marked urgent.
#include "ui/WindowActivation.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <QWindow>

namespace kivo::test {
namespace {

class WindowActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(200, 100);
    activation_.SetCheckInterval(20);
  }
  QWidget window_;
  WindowActivation activation_{window_};
};

TEST_F(WindowActivationTest, TheRequestComesOnceTheWindowIsMappedWithTheTokenUsedOnce) {
  std::vector<QByteArray> tokens;
  std::vector<bool> exposed;
  activation_.request = [&](QWindow& window) {
    tokens.push_back(qgetenv("XDG_ACTIVATION_TOKEN"));
    exposed.push_back(window.isExposed());
    window.requestActivate();
  };
  ASSERT_FALSE(window_.isVisible());
  activation_.Activate("launcher-token");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tokens.empty(); }, 5000));
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(tokens, std::vector<QByteArray>{"launcher-token"});
  EXPECT_EQ(exposed, std::vector<bool>{true});
  EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
  activation_.Activate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return tokens.size() == 2; }, 5000));
  EXPECT_EQ(tokens[1], QByteArray()) << "a token is good for one activation";
  // Without a token handed over, one of the utility's own is asked for (on
  // Wayland from the compositor), and only then.
  int asked = 0;
  activation_.ownToken = [&] {
    ++asked;
    return std::string("own-token");
  };
  activation_.Activate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return tokens.size() == 3; }, 5000));
  activation_.Activate("handed-token");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tokens.size() == 4; }, 5000));
  EXPECT_EQ(tokens[2], QByteArray("own-token"));
  EXPECT_EQ(tokens[3], QByteArray("handed-token"));
  EXPECT_EQ(asked, 1);
}

TEST_F(WindowActivationTest, AWindowTheWindowSystemDoesNotActivateIsMarkedUrgent) {
  struct Case {
    bool granted;
    bool urgent;
  } const cases[] = {{true, false}, {false, true}};
  for (const Case& c : cases) {
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window_.hide();
    int urgent = 0;
    bool requested = false;
    const auto connection =
        QObject::connect(&activation_, &WindowActivation::MarkedUrgent, [&] { ++urgent; });
    activation_.request = [&](QWindow& window) {
      requested = true;
      // Refused: the window system keeps the focus where it was.
      if (c.granted) {
        window.requestActivate();
      } else {
        other.activateWindow();
      }
    };
    activation_.Activate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !activation_.Checking(); }, 5000));
    EXPECT_EQ(urgent, c.urgent ? 1 : 0) << c.granted;
    EXPECT_EQ(window_.isActiveWindow(), c.granted);
    QObject::disconnect(connection);
  }
}

}  // namespace
}  // namespace kivo::test
