#pragma once
// The library's user-facing failures are modal message boxes. The core asks for them through
// this port: the Win32 shell calls MessageBoxA, tests and the headless tool record them.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

using WindowRef = void*;  // an HWND where there is a window system, never stored narrower

inline constexpr unsigned kBoxStyleError = 16;        // error icon, OK button
inline constexpr unsigned kBoxStyleReport = 327696;   // error icon, foreground, topmost

class MessageBoxPort {
 public:
  virtual ~MessageBoxPort() = default;
  virtual void show(WindowRef owner, const std::string& text, const std::string& caption,
                    unsigned style) = 0;
};

// Shows one box with `showing` at 1 while it is up, so that the host can poll for it.
inline void showMessageBox(MessageBoxPort& port, std::atomic<std::uint8_t>& showing, WindowRef owner,
                           std::string_view text, std::string_view caption, unsigned style) {
  showing = 1;
  port.show(owner, std::string(text), std::string(caption), style);
  showing = 0;
}

// The system's boxes: MessageBoxA on Windows; elsewhere the text goes to standard error.
MessageBoxPort& systemMessageBoxes();

}  // namespace vantrel
