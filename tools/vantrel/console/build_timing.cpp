#include "console/build_timing.h"

#include <algorithm>

namespace vantrel::cli {

void BuildTiming::sending(Clock::time_point at, bool update) {
  sentAt_ = at;
  update_ = update;
}

void BuildTiming::acknowledged(Clock::time_point at) { acknowledgedAfter_[update_ ? 0 : 1] = at - sentAt_; }

// A longer build is believed at once, a shorter one slowly: building late costs the viewer a
// frame's worth of waiting, building early only a fresher picture.
void BuildTiming::built(Clock::duration took) { buildTime_ = took > buildTime_ ? took : (7 * buildTime_ + took) / 8; }

BuildTiming::Clock::time_point BuildTiming::buildFrom() const {
  const auto& after = acknowledgedAfter_[update_ ? 0 : 1];
  if (!after) return Clock::time_point::max();
  const auto spare = std::chrono::milliseconds(1) + buildTime_ / 4;
  return sentAt_ + *after - buildTime_ - spare;
}

}  // namespace vantrel::cli
