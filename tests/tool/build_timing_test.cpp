// When the console starts building the next frame while a message is on its way.
#include "console/build_timing.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;
using Clock = BuildTiming::Clock;

TEST(BuildTiming, BuildsTheBuildTimeAndSomeBeforeTheAcknowledgementOfTheKindInFlight) {
  BuildTiming timing;
  const Clock::time_point t0{};
  timing.sending(t0, true);
  EXPECT_EQ(timing.buildFrom(), Clock::time_point::max()) << "nothing known: built when the acknowledgement comes";

  timing.acknowledged(t0 + 30ms);  // an update takes 30 ms
  timing.built(4ms);
  timing.sending(t0 + 100ms, false);
  timing.acknowledged(t0 + 112ms);  // a small message 12 ms
  timing.sending(t0 + 200ms, true);
  EXPECT_EQ(timing.buildFrom(), t0 + 200ms + 30ms - 4ms - 2ms);  // 1 ms and a quarter of the build to spare
  timing.sending(t0 + 300ms, false);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 4ms - 2ms);

  // A longer build is believed at once, a shorter one an eighth at a time.
  timing.built(12ms);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 12ms - 4ms);
  timing.built(4ms);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 11ms - 3750us);
}

}  // namespace
}  // namespace vantrel::cli
