#pragma once
// A hostile console's stream fed to the pushed session (the browser's) in pieces: whatever the
// bytes and wherever they are cut, the session stays within its buffers, and cutting the stream
// elsewhere, or writing the pieces straight into the room of a payload under way (as the page
// unpacks them), changes nothing it sends or shows. Shared by the fuzz target and the seed test.

#include <algorithm>
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

// Feeds `stream` to `session` in pieces of `piece` bytes; with `intoRoom`, a piece that fits the
// room of a payload under way is written there instead, as the page unpacks into it.
inline void feed(PushSession& session, std::span<const std::uint8_t> stream, std::size_t piece, bool intoRoom) {
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    const auto bytes = stream.subspan(at, std::min(piece, stream.size() - at));
    if (const auto room = session.receiveRoom(); intoRoom && bytes.size() <= room.size()) {
      std::copy(bytes.begin(), bytes.end(), room.begin());
      session.received(bytes.size());
    } else {
      session.receive(bytes);
    }
  }
}

inline Outcome play(std::span<const std::uint8_t> stream, std::size_t piece, bool intoRoom = false) {
  display_checks::NoBoxes boxes;
  UserMessages messages;
  messages.boxes = &boxes;
  ShownSurface surface;
  MemoryClipboard clipboard;
  auto session = PushSession::create(surface, clipboard, messages, "viewer", "secret");
  feed(*session, stream, piece, intoRoom);
  Outcome outcome{session->outgoing(), {}, session->phase()};
  surface.takeChanges([&](const ShownSurface::Changes& c) { outcome.shown.assign(c.pixels.begin(), c.pixels.end()); });
  return outcome;
}

// The first byte says where to cut (every 1 to 256 bytes), the rest is the console's stream.
inline bool samePiecewise(std::span<const std::uint8_t> input) {
  if (input.empty()) return true;
  const std::size_t piece = std::size_t{input[0]} + 1;
  const auto stream = input.subspan(1);
  const Outcome whole = play(stream, stream.size() + 1);
  return whole == play(stream, piece) && whole == play(stream, piece, true);
}

}  // namespace vantrel::push_session_checks
