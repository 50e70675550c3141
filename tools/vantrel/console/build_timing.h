#pragma once
// When the console builds its next frame while a message is still on its way to the viewer: as
// late as it can, so that the frame shows what happened in the meantime (a keystroke's echo
// rides the next update, not the one after), yet ready by the time the acknowledgement comes.
// The moment is learnt from the session itself: how long the viewer took to acknowledge the
// last message of the kind in flight (a screen update, or a small message), and how long
// frames take to build.

#include <array>
#include <chrono>
#include <optional>

namespace vantrel::cli {

class BuildTiming {
 public:
  using Clock = std::chrono::steady_clock;

  // A message starts to go out; `update`: a screen update.
  void sending(Clock::time_point at, bool update);
  // The viewer acknowledged it.
  void acknowledged(Clock::time_point at);
  // A frame took this long to build.
  void built(Clock::duration took);
  // When to start building the next frame while a message is in flight: its expected
  // acknowledgement less the time a build takes, with some to spare. The end of time while
  // nothing is known yet: the frame is then built when the acknowledgement comes.
  Clock::time_point buildFrom() const;

 private:
  Clock::time_point sentAt_{};
  bool update_ = false;
  std::array<std::optional<Clock::duration>, 2> acknowledgedAfter_;  // for updates, for the rest
  Clock::duration buildTime_{};
};

}  // namespace vantrel::cli
