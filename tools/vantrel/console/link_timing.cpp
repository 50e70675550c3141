#include "console/link_timing.h"

namespace vantrel::cli {

void LinkTiming::sending(Clock::time_point at, std::size_t bytes) {
  sentAt_ = at;
  large_ = bytes >= kLarge;
}

// A quicker acknowledgement is believed at once, a slower one slowly: a frame built after its
// acknowledgement came costs the viewer the build, one built early only a fresher picture.
void LinkTiming::acknowledged(Clock::time_point at) {
  auto& after = acknowledgedAfter_[large_ ? 1 : 0];
  const auto took = at - sentAt_;
  after = !after || took < *after ? took : (7 * *after + took) / 8;
}

// A longer build is believed at once, a shorter one slowly: building late costs the viewer a
// frame's worth of waiting, building early only a fresher picture.
void LinkTiming::built(Clock::duration took) { buildTime_ = took > buildTime_ ? took : (7 * buildTime_ + took) / 8; }

LinkTiming::Clock::time_point LinkTiming::buildFrom() const {
  const auto& after = acknowledgedAfter_[large_ ? 1 : 0];
  if (!after) return Clock::time_point::max();
  const auto spare = std::chrono::milliseconds(1) + buildTime_ / 4;
  return sentAt_ + *after - buildTime_ - spare;
}

bool LinkTiming::smallFirstPays() const {
  const auto& [small, large] = acknowledgedAfter_;
  return small && large && *large > 2 * *small;
}

}  // namespace vantrel::cli
