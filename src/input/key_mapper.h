#pragma once
// Turns one Windows key message into the key events the console expects: a fixed table for
// keys that are not characters, the layout's translation for those that are, with AltGr
// characters, dead keys and letter case handled so the server sees what the user typed.

#include <array>
#include <atomic>
#include <cstdint>

#include "catalog/message_box.h"
#include "input/key_event_sink.h"
#include "input/keyboard_port.h"
#include "input/viewer_window_port.h"

namespace vantrel {

class MessageCatalog;

// The result of translating one key.
struct KeyAction {
  static constexpr std::uint32_t kTerminator = 0xFFFFFF;
  // Bits of `releaseModifiers`: modifiers lifted around the keysyms.
  static constexpr std::uint32_t kControlL = 1;
  static constexpr std::uint32_t kControlR = 2;
  static constexpr std::uint32_t kAltL = 4;
  static constexpr std::uint32_t kAltR = 8;

  // Filled from index 0 and ended by kTerminator; a key yields at most two keysyms.
  std::array<std::uint32_t, 4> keysyms{kTerminator, kTerminator, kTerminator, kTerminator};
  std::uint32_t releaseModifiers = 0;
};

// Where a failure on the keyboard path is reported before the viewer window is closed.
struct KeyFailureReport {
  MessageBoxPort& boxes;
  std::atomic<std::uint8_t>& msgBoxShowing;
  const MessageCatalog& catalog;
  std::uint32_t language;
  WindowRef owner;
};

class KeyMapper {
 public:
  KeyMapper(KeyboardPort& keyboard, KeyEventSink& sink, ViewerWindowPort& viewer,
            KeyFailureReport failureReport);
  virtual ~KeyMapper() = default;

  // One WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP: its virtual key and key data.
  void processKeyEvent(std::uint32_t virtualKey, std::uint32_t keyData);
  KeyAction translateKey(std::uint32_t virtualKey, std::uint32_t keyData);

 private:
  int translateCharacters(std::uint32_t virtualKey);
  bool stateDown(std::uint32_t virtualKey) const;
  bool liveDown(std::uint32_t virtualKey);
  std::uint32_t liveAltGrModifiers();
  std::uint32_t letterCase(std::uint32_t keysym, bool down);
  void liftModifiers(std::uint32_t modifiers);
  void restoreModifiers(std::uint32_t modifiers);
  void send(std::uint32_t keysym, bool down);

  KeyboardPort& keyboard_;
  KeyEventSink& sink_;
  ViewerWindowPort& viewer_;
  KeyFailureReport failureReport_;
  KeyboardState state_{};
  CharacterBuffer chars_{};
  // The keysym of the last letter press, so that its release carries the same case.
  std::uint32_t lastKeyDown_ = 0;
};

}  // namespace vantrel
