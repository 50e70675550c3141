#pragma once
// The viewer's keys and pointer typed into an X server through XTEST. A keysym becomes the key
// and modifiers that give it on the server's current keymap (read through XKB, again whenever it
// changes); a keysym the keymap lacks is bound to a spare keycode, which keeps it until that
// keycode is needed for another or the session ends, so that a client reading the event late
// still finds the keysym. Everything pressed is released at the end of a session.
// Xlib stays inside the source file. One thread uses an instance.

#include <cstdint>
#include <memory>
#include <string>

#include "console/desktop_geometry.h"

namespace vantrel::cli {

class X11Input {
 public:
  // Nothing, with a reason, when the display cannot be opened or lacks XTEST or XKB.
  static std::unique_ptr<X11Input> open(const std::string& display, std::string& error);
  ~X11Input();

  // The viewer's key event; a release of 0xFFFFFFFF (the viewer's window going away) releases
  // every key this instance holds down.
  void key(std::uint32_t keysym, bool down);
  // Moves the pointer to a desktop pixel and sets the buttons: bit 0 left, bit 1 middle, bit 2
  // right.
  void pointer(ScreenPoint desktop, std::uint8_t buttons);
  // Releases every key and button this instance holds down and gives spare keycodes back.
  void releaseAll();

  struct Impl;

 private:
  explicit X11Input(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::cli
