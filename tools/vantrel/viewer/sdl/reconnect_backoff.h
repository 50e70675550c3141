#pragma once
// When a viewer whose link dropped tries again: soon at first, then less and less often, and
// never after the time it was given from the moment of the drop.

#include <chrono>
#include <optional>

namespace vantrel::cli {

// Why a session ended, as far as deciding to reconnect goes.
enum class SessionEnd {
  Closed,         // the user closed the window or chose Disconnect
  ServerEnded,    // the console ended the session: it meant to
  ScreenRefused,  // the viewer ended it: the console's screen has a size it does not show
  LinkLost,       // the connection broke (or the viewer dropped it over a message): worth another try
};

class ReconnectBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirst{250};
  static constexpr std::chrono::milliseconds kLongest{4000};

  // `limit`: how long after the drop attempts may start; zero: never.
  ReconnectBackoff(std::chrono::seconds limit, Clock::time_point droppedAt) : limit_(limit), droppedAt_(droppedAt) {}

  // When the next attempt is due, the last having failed at `now` (or the link having dropped
  // then), or nothing when the time is up.
  std::optional<Clock::time_point> nextAttempt(Clock::time_point now);

 private:
  std::chrono::seconds limit_;
  Clock::time_point droppedAt_;
  std::chrono::milliseconds delay_{0};
};

}  // namespace vantrel::cli
