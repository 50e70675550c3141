// The link emulator of scripts/measure-links: a link adds the round trip and gives the rate it
// was asked for, within 5 %, measured from outside through loopback sockets.
#include <gtest/gtest.h>

#include "link_relay.h"

namespace vantrel::bench {
namespace {

TEST(LinkRelay, GivesTheRoundTripAndRateAskedFor) {
  const struct {
    double bitsPerSecond;
    int roundTripMs;
  } links[] = {{100e6, 20}, {10e6, 60}};
  for (const auto& link : links) {
    SCOPED_TRACE(std::to_string(link.bitsPerSecond / 1e6) + " Mbit/s, " + std::to_string(link.roundTripMs) + " ms");
    std::string error;
    const auto measured = checkLink({link.bitsPerSecond, std::chrono::milliseconds(link.roundTripMs), 0}, error);
    ASSERT_TRUE(measured) << error;
    EXPECT_NEAR((measured->roundTrip - measured->loopbackRoundTrip).count(), link.roundTripMs, 0.05 * link.roundTripMs);
    EXPECT_NEAR(measured->bitsPerSecond, link.bitsPerSecond, 0.05 * link.bitsPerSecond);
  }
}

}  // namespace
}  // namespace vantrel::bench
