#include "viewer/sdl/reconnect_backoff.h"

#include <algorithm>

namespace vantrel::cli {

std::optional<ReconnectBackoff::Clock::time_point> ReconnectBackoff::nextAttempt(Clock::time_point now) {
  const Clock::time_point end = droppedAt_ + limit_;
  if (limit_.count() <= 0 || now >= end) return std::nullopt;
  delay_ = delay_.count() == 0 ? kFirst : std::min(delay_ * 2, kLongest);
  // The last attempt comes at the limit rather than not at all.
  return std::min(now + delay_, end);
}

}  // namespace vantrel::cli
