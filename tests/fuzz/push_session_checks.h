#pragma once
// A hostile console's stream fed to the pushed session (the browser's) in pieces: whatever the
// bytes and wherever they are cut, the session stays within its buffers, and cutting the stream
// elsewhere changes nothing it sends or shows. Shared by the fuzz target and the seed test.

#include <cstdint>
#include <span>
#include <vector>

#include "display_checks.h"
#include "screen/shown_surface.h"
#include "viewer/headless_session.h"
#include "viewer/push_session.h"

namespace vantrel::push_session_checks {

struct Outcome {
  std::vector<std::uint8_t> sent;
  std::vector<std::uint32_t> shown;
  PushSession::Phase phase;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

inline Outcome play(std::span<const std::uint8_t> stream, std::size_t piece) {
  display_checks::NoBoxes boxes;
  UserMessages messages;
  messages.boxes = &boxes;
  ShownSurface surface;
  MemoryClipboard clipboard;
  auto session = PushSession::create(surface, clipboard, messages, "viewer", "secret");
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    session->receive(stream.subspan(at, std::min(piece, stream.size() - at)));
  }
  Outcome outcome{session->outgoing(), {}, session->phase()};
  surface.takeChanges([&](const ShownSurface::Changes& c) { outcome.shown.assign(c.pixels.begin(), c.pixels.end()); });
  return outcome;
}

// The first byte says where to cut (every 1 to 256 bytes), the rest is the console's stream.
inline bool samePiecewise(std::span<const std::uint8_t> input) {
  if (input.empty()) return true;
  const std::size_t piece = std::size_t{input[0]} + 1;
  const auto stream = input.subspan(1);
  return play(stream, stream.size() + 1) == play(stream, piece);
}

}  // namespace vantrel::push_session_checks
