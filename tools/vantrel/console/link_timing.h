#pragma once
// What a console session learns of its link from the acknowledgements: how long the viewer takes
// to acknowledge a small message and a large one (the link's round trip, the 10 ms pause and
// the viewer's work, and for a large one the time its bytes take on the link), and how long a
// frame takes to build. From these it decides:
//  - when to build the next frame while a message is in flight: as late as it can, so that the
//    frame shows what happened in the meantime (a keystroke's echo rides the next update, not
//    the one after), yet ready by the time the acknowledgement comes;
//  - whether a small change apart from a large one should go first, on its own: when a large
//    update takes more than twice as long as a small one, the small one shown a large update's
//    time sooner is worth more than the large one shown a small one's time later.

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

namespace vantrel::cli {

class LinkTiming {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kLarge = 16 * 1024;  // bytes on the wire from which a message is large

  // A message of `bytes` on the wire starts to go out.
  void sending(Clock::time_point at, std::size_t bytes);
  // The viewer acknowledged it.
  void acknowledged(Clock::time_point at);
  // A frame took this long to build.
  void built(Clock::duration took);

  // When to start building the next frame while a message is in flight: its expected
  // acknowledgement less the time a build takes, with some to spare. The end of time while
  // nothing is known yet: the frame is then built when the acknowledgement comes.
  Clock::time_point buildFrom() const;
  // Whether small changes apart from a far larger one should go first.
  bool smallFirstPays() const;

 private:
  Clock::time_point sentAt_{};
  bool large_ = false;
  std::array<std::optional<Clock::duration>, 2> acknowledgedAfter_;  // small, large
  Clock::duration buildTime_{};
};

}  // namespace vantrel::cli
