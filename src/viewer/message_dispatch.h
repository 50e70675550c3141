#pragma once
// What a viewer does with one message from the console, whichever way the message arrived (the
// receive thread's blocking read, or bytes pushed in by a browser shell): clipboard text to the
// clipboard port, the three screen messages to the display, and what should follow.

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/console_message.h"
#include "screen/display_state.h"
#include "viewer/session_ports.h"

namespace vantrel {

// Room for any payload the console may send, and for the largest rectangle decoded.
inline constexpr std::size_t kViewerPayloadCapacity = 6604800;
inline constexpr std::size_t kViewerDecodeBufferSize = 0x50A000;

inline constexpr std::uint16_t kAcknowledgeSubtype = 11;
inline constexpr std::uint16_t kServerCutSubtype = 17;

enum class Dispatched : std::uint8_t {
  Acknowledge,  // handled (or ignored): the viewer acknowledges it
  ServerEnded,  // the console ends the session: no acknowledgement
  Untrusted,    // the console sent what no rectangle of the protocol can be: give the link up
};

Dispatched dispatchMessage(const ConsoleMessage& message, std::span<const std::uint8_t> payload, DisplayState& display,
                           ClipboardPort& clipboard);

}  // namespace vantrel
