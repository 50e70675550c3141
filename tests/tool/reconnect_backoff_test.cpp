// When a viewer whose link dropped tries again.
#include "viewer/sdl/reconnect_backoff.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

TEST(ReconnectBackoff, PausesGrowToALimitAndTheLastAttemptIsAtTheEnd) {
  const auto dropped = ReconnectBackoff::Clock::now();
  ReconnectBackoff backoff(10s, dropped);
  std::vector<long long> due;
  // Each attempt fails 100 ms after it was due.
  for (auto at = backoff.nextAttempt(dropped); at; at = backoff.nextAttempt(*at + 100ms)) {
    due.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(*at - dropped).count());
  }
  EXPECT_EQ(due, (std::vector<long long>{250, 850, 1950, 4050, 8150, 10000}));

  EXPECT_FALSE(ReconnectBackoff(0s, dropped).nextAttempt(dropped));
}

}  // namespace
}  // namespace vantrel::cli
