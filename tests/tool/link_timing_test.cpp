// What the console learns of its link from the acknowledgements.
#include "console/link_timing.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;
using Clock = LinkTiming::Clock;
constexpr std::size_t kSmall = 300, kLarge = LinkTiming::kLarge;

TEST(LinkTiming, BuildsTheBuildTimeAndSomeBeforeTheAcknowledgementOfTheSizeInFlight) {
  LinkTiming timing;
  const Clock::time_point t0{};
  timing.sending(t0, kLarge);
  EXPECT_EQ(timing.buildFrom(), Clock::time_point::max()) << "nothing known: built when the acknowledgement comes";

  timing.acknowledged(t0 + 30ms);  // a large update takes 30 ms
  timing.built(4ms);
  timing.sending(t0 + 100ms, kSmall);
  timing.acknowledged(t0 + 112ms);  // a small message 12 ms
  timing.sending(t0 + 200ms, kLarge);
  EXPECT_EQ(timing.buildFrom(), t0 + 200ms + 30ms - 4ms - 2ms);  // 1 ms and a quarter of the build to spare
  timing.sending(t0 + 300ms, kSmall);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 4ms - 2ms);

  // A longer build is believed at once, a shorter one an eighth at a time.
  timing.built(12ms);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 12ms - 4ms);
  timing.built(4ms);
  EXPECT_EQ(timing.buildFrom(), t0 + 300ms + 12ms - 11ms - 3750us);

  // A quicker acknowledgement is believed at once as well, a slower one an eighth at a time: on a
  // link whose time varies, the frame is ready for the quick ones.
  timing.acknowledged(t0 + 304ms);
  timing.sending(t0 + 400ms, kSmall);
  EXPECT_EQ(timing.buildFrom(), t0 + 400ms + 4ms - 11ms - 3750us);
  timing.acknowledged(t0 + 420ms);
  timing.sending(t0 + 500ms, kSmall);
  EXPECT_EQ(timing.buildFrom(), t0 + 500ms + 6ms - 11ms - 3750us);
}

TEST(LinkTiming, SmallChangesGoFirstWhereALargeUpdateTakesMoreThanTwiceASmallOnesTime) {
  struct Case {
    std::optional<int> smallMs, largeMs;
    bool pays;
  };
  for (const Case& c : std::vector<Case>{{31, 197, true}, {31, 47, false}, {70, 141, true}, {70, 140, false},
                                         {std::nullopt, 197, false}, {31, std::nullopt, false}}) {
    LinkTiming timing;
    Clock::time_point t{};
    for (const auto& [ms, bytes] : {std::pair{c.smallMs, kSmall}, std::pair{c.largeMs, kLarge}}) {
      if (!ms) continue;
      timing.sending(t, bytes);
      timing.acknowledged(t + std::chrono::milliseconds(*ms));
      t += 1s;
    }
    EXPECT_EQ(timing.smallFirstPays(), c.pays) << c.smallMs.value_or(-1) << " " << c.largeMs.value_or(-1);
  }
}

}  // namespace
}  // namespace vantrel::cli
