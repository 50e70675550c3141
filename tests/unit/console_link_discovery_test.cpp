#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/socket_compat.h"
#include "protocol/console_link.h"
#include "support/probe_responders.h"
#include "support/recording_message_boxes.h"

namespace vantrel {
namespace {

// The probe goes to loopback only: nothing a test sends may leave this machine.
ConsoleLinkOptions probeOptions(std::uint16_t port) {
  ConsoleLinkOptions options;
  options.udpPort = port;
  options.probeTarget = htonl(INADDR_LOOPBACK);
  return options;
}

TEST(ConsoleLinkDiscoveryTest, NoAnswerGivesAnEmptyListAfterASecond) {
  testing::RecordedMessages recorded;
  NetSocket::startup();
  NetSocket unused;  // a free port that nobody answers on
  ASSERT_TRUE(unused.createUdp() && unused.bind(0, true));
  const std::uint16_t silentPort = unused.localPort().value_or(0);
  unused.close();

  ConsoleLink link(recorded.messages, probeOptions(silentPort));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(link.discoverServers());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(990));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(link.names(), "");
  EXPECT_TRUE(recorded.boxes.boxes().empty());
}

TEST(ConsoleLinkDiscoveryTest, EachAnsweringConsoleIsListedWithAComma) {
  testing::RecordedMessages recorded;
  // The second name fills its reply without a terminator: only its 32 bytes count.
  const std::string longName(32, 'n');
  testing::ProbeResponders responders({"alpha", longName});
  ConsoleLink link(recorded.messages, probeOptions(responders.port()));
  EXPECT_TRUE(link.discoverServers());
  EXPECT_EQ(link.names(), "alpha," + longName + ",");
}

}  // namespace
}  // namespace vantrel
