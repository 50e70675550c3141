#pragma once
// One hostile screen message applied to a display on the software surface; shared by the
// fuzz target and the test that replays its seeds. Input: one byte choosing the type (4, 5 or
// 6), the 20 bytes of the message header (the first, the type byte, is replaced by the chosen
// type), then the payload (the rest of the input, whatever the header says its length is).

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "catalog/user_messages.h"
#include "screen/display_state.h"
#include "screen/software_surface.h"

namespace vantrel::display_checks {

struct NoHost final : DisplayHost {
  WindowRef viewerWindow() const override { return nullptr; }
  bool windowedView() const override { return true; }
  void surfaceResized() override {}
  void abortSession() override {}
};

struct NoBoxes final : MessageBoxPort {
  void show(WindowRef, const std::string&, const std::string&, unsigned) override {}
};

struct Display {
  Display() : decodeBuffer(0x50A000), display(surface, host, messages, codec, decodeBuffer) {
    messages.boxes = &boxes;
    display.surfaceCreated(true);
  }
  SoftwareSurface surface;
  NoHost host;
  NoBoxes boxes;
  UserMessages messages;
  ScreenCodec codec;
  std::vector<std::uint8_t> decodeBuffer;
  DisplayState display;
};

inline void apply(Display& d, std::span<const std::uint8_t> input) {
  if (input.size() < 21) return;
  ConsoleMessage m;
  std::memcpy(m.header.data(), input.data() + 1, 20);
  m.setType(static_cast<std::uint8_t>(4 + input[0] % 3));
  const auto payload = input.subspan(21);
  if (m.type() == ConsoleMessage::kScreenFormat) {
    // A big screen costs time, not coverage: keep the sizes a display could have.
    m.setU16At(2, static_cast<std::uint16_t>(m.u16At(2) % 1281));
    m.setU16At(4, static_cast<std::uint16_t>(m.u16At(4) % 1025));
    d.display.handleScreenFormat(m, payload);
  } else if (m.type() == ConsoleMessage::kScreenUpdate) {
    d.display.handleScreenUpdate(m, payload);
  } else {
    d.display.handleOverlayUpdate(m, payload);
  }
}

}  // namespace vantrel::display_checks
