// The viewer's core as a WebAssembly module for the browser page. One session at a time, fed
// with the console's bytes from the page's WebSocket; the picture in the surface's window, kept
// in the canvas's RGBA, with the rectangles changed since the page last drew; what to send and
// what to show in one state record that the page reads after every call. Text crosses in a scratch
// buffer. Anything that allocates may grow the memory: the page re-reads its views after each call.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/keyed_catalog.h"
#include "input/special_keys.h"
#include "input/viewer_window_port.h"
#include "screen/shown_surface.h"
#include "viewer/push_session.h"
#include "web/relay_packing.h"

namespace vantrel::web {
namespace {

// Read by the page at fixed offsets (core.js): every field 32 bits, addresses as numbers.
struct State {
  std::uint32_t phase;           // PushSession::Phase, or 255 before the first session
  std::uint32_t width;           // of the picture; 0 until the first screen format
  std::uint32_t height;
  std::uint32_t frame;           // RGBA, width x height, top row first (the surface's window)
  std::uint32_t changeCount;     // rectangles changed since the page last drew
  std::uint32_t changes;         // changeCount x (x, y, width, height)
  std::uint32_t outgoing;        // bytes for the console
  std::uint32_t outgoingLength;
  std::uint32_t notice;          // the last box: "\x1F" and its catalogue key, or a fixed text (NUL-ended)
  std::uint32_t noticeCount;     // boxes shown so far
  std::uint32_t consoleText;     // the console's last clipboard text (8-bit, LF lines)
  std::uint32_t consoleTextLength;
  std::uint32_t consoleTextCount;
  std::uint32_t status;          // the last login status word, 0 before one
  std::uint32_t updates;         // screen updates drawn in this session
};

std::uint32_t address(const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); }

class Boxes final : public MessageBoxPort {
 public:
  void show(WindowRef, const std::string& text, const std::string&, unsigned) override {
    last = text;
    ++count;
  }
  std::string last;
  std::uint32_t count = 0;
};

class Clipboard final : public ClipboardPort {
 public:
  void setLocalClipboard(std::span<const std::uint8_t> text) override {
    const std::string_view kept = receivedClipboardText(text);
    last.assign(kept.begin(), kept.end());
    ++count;
  }
  std::string last;
  std::uint32_t count = 0;
};

class NoWindow final : public ViewerWindowPort {
 public:
  void takeFocus() override {}
  void requestClose() override {}
};

struct Module {
  State state{};
  std::vector<std::uint8_t> scratch;
  Boxes boxes;
  Clipboard clipboard;
  MessageCatalog catalog = keyedCatalog();
  UserMessages messages{&boxes};
  std::unique_ptr<ShownSurface> surface;
  std::unique_ptr<PushSession> session;
  std::vector<std::int32_t> changes;
  std::vector<std::uint8_t> unpacked;
  // What the last unpacking gave: bytes in `unpacked` or `scratch`, or a count written straight
  // into the session's message under way.
  std::span<const std::uint8_t> unpackedBytes;
  std::size_t unpackedInPlace = 0;

  Module() {
    messages.catalog = &catalog;
    state.phase = 255;
  }

  // The state record brought up to date, with the rectangles drawn since the page last drew.
  void refresh() {
    surface->takeChanges([this](const ShownSurface::Changes& c) {
      state.frame = address(c.pixels.data());
      const auto add = [&](const SurfaceRect& r) {
        changes.insert(changes.end(), {r.left, r.top, r.width(), r.height()});
      };
      if (c.resized) {
        changes.clear();
        state.width = c.width;
        state.height = c.height;
        add({0, 0, static_cast<std::int32_t>(c.width), static_cast<std::int32_t>(c.height)});
      } else {
        for (const SurfaceRect& r : c.rects) add(r);
      }
    });
    state.phase = static_cast<std::uint32_t>(session->phase());
    state.changeCount = static_cast<std::uint32_t>(changes.size() / 4);
    state.changes = address(changes.data());
    state.outgoing = address(session->outgoing().data());
    state.outgoingLength = static_cast<std::uint32_t>(session->outgoing().size());
    state.notice = address(boxes.last.c_str());
    state.noticeCount = boxes.count;
    state.consoleText = address(clipboard.last.data());
    state.consoleTextLength = static_cast<std::uint32_t>(clipboard.last.size());
    state.consoleTextCount = clipboard.count;
    state.status = session->lastStatus().value_or(0);
    state.updates = static_cast<std::uint32_t>(session->display().updatesDrawn());
  }

  // The scratch buffer's first `length` bytes, or all it has.
  std::span<const std::uint8_t> bytes(std::size_t length) const {
    return {scratch.data(), std::min(length, scratch.size())};
  }

  std::string_view text(std::size_t offset, std::size_t length) const {
    if (offset > scratch.size() || length > scratch.size() - offset) return {};
    return {reinterpret_cast<const char*>(scratch.data()) + offset, length};
  }
};

Module& module() {
  static Module m;
  return m;
}

}  // namespace
}  // namespace vantrel::web

namespace vantrel {

// The browser has no boxes of its own: what a box would say goes to the page as the notice.
MessageBoxPort& systemMessageBoxes() { return web::module().boxes; }

}  // namespace vantrel

using vantrel::web::module;

extern "C" {

// The scratch buffer, at least `size` bytes, for the next call's bytes or text.
std::uint32_t vt_scratch(std::uint32_t size) {
  auto& m = module();
  m.unpackedBytes = {};  // it may lie in the scratch buffer, which may move
  if (m.scratch.size() < size) m.scratch.resize(size);
  return vantrel::web::address(m.scratch.data());
}

// The state record; its address does not change.
std::uint32_t vt_state() { return vantrel::web::address(&module().state); }

// A new session (the last one, if any, is dropped): the user name is the scratch buffer's first
// `userLength` bytes, the password the `passwordLength` after them. False without memory.
bool vt_start(std::uint32_t userLength, std::uint32_t passwordLength) {
  auto& m = module();
  m.session.reset();
  m.unpackedInPlace = 0;  // it went into the session that goes
  m.surface = std::make_unique<vantrel::ShownSurface>(vantrel::SoftwareSurface::WindowOrder::Canvas);
  m.changes.clear();
  m.state.width = m.state.height = m.state.frame = 0;
  m.session = vantrel::PushSession::create(*m.surface, m.clipboard, m.messages, m.text(0, userLength),
                                           m.text(userLength, passwordLength));
  std::fill(m.scratch.begin(), m.scratch.end(), std::uint8_t{0});  // the password goes
  if (!m.session) return false;
  m.refresh();
  return true;
}

// The gateway's packed message (relay_packing.h) in the scratch buffer's first `length` bytes,
// unpacked for the next vt_receive: straight into the message the core is putting together
// when all of it goes there. False when it does not unpack: the link is broken.
bool vt_unpack(std::uint32_t length) {
  auto& m = module();
  const auto message = m.bytes(length);
  m.unpackedBytes = {};
  m.unpackedInPlace = 0;
  const auto room = m.session ? m.session->receiveRoom() : std::span<std::uint8_t>{};
  if (const auto size = vantrel::web::unpackedSize(message); size && *size > 0 && *size <= room.size()) {
    if (!vantrel::web::unpackInto(message, room.first(*size))) return false;
    m.unpackedInPlace = *size;
    return true;
  }
  const auto unpacked = vantrel::web::unpackMessage(message, m.unpacked);
  m.unpackedBytes = unpacked.value_or(std::span<const std::uint8_t>{});
  return unpacked.has_value();
}

// `length` bytes from the console in the scratch buffer, or what the last vt_unpack gave.
void vt_receive(std::uint32_t length, bool unpacked) {
  auto& m = module();
  const auto bytes = unpacked ? std::exchange(m.unpackedBytes, {}) : m.bytes(length);
  const std::size_t inPlace = unpacked ? std::exchange(m.unpackedInPlace, 0) : 0;
  if (!m.session) return;
  if (inPlace > 0) {
    m.session->received(inPlace);
  } else {
    m.session->receive(bytes);
  }
  m.refresh();
}

// The page has sent the outgoing bytes, and drawn the changed rectangles.
void vt_sent() {
  auto& m = module();
  if (m.session) m.session->clearOutgoing();
  m.changes.clear();
  if (m.session) m.refresh();
}

void vt_key(std::uint32_t keysym, bool down) {
  auto& m = module();
  if (!m.session) return;
  m.session->sendKeyEvent(keysym, down);
  m.refresh();
}

void vt_pointer(std::uint32_t x, std::uint32_t y, std::uint32_t buttons) {
  auto& m = module();
  if (!m.session) return;
  m.session->sendPointer(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), static_cast<std::uint8_t>(buttons));
  m.refresh();
}

// One of the four special sequences (0 Alt+Tab, 1 Ctrl+Space, 2 Alt+F4, 3 Ctrl+Alt+Del).
bool vt_special(std::uint32_t code) {
  auto& m = module();
  if (!m.session) return false;
  vantrel::web::NoWindow window;
  const bool sent = vantrel::sendSpecialSequence(code, m.session.get(), window);
  m.refresh();
  return sent;
}

// The local clipboard's text (8-bit, the scratch buffer's first `length` bytes). False when it
// is not sent (too long, or no session running).
bool vt_clipboard(std::uint32_t length) {
  auto& m = module();
  if (!m.session) return false;
  const bool sent = m.session->sendClipboardText(m.text(0, length));
  m.refresh();
  return sent;
}

}  // extern "C"
