#pragma once
// The viewer window of the DLL: the window class and ViewerWndProc, placement, scroll bars and
// scrolling, pointer events, and the ports the session and the keyboard code reach it through.
// Defined in viewer_window_win32.cpp; the full-screen view is view_switch.h's.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "catalog/message_box.h"
#include "catalog/user_messages.h"
#include "input/key_event_sink.h"
#include "input/viewer_window_port.h"
#include "screen/surface_port.h"
#include "viewer/session_ports.h"
#include "viewer/view_geometry.h"

namespace vantrel {

class ConsoleLink;

// The process-wide state the window reads and writes; it lives with the exports.
struct ViewerSettings {
  void* instance = nullptr;  // the DLL's module: window class, icon, cursor
  WindowRef parentWindow = nullptr;
  ViewingArea area;
  std::atomic<std::int32_t>* inputEnabled = nullptr;
  std::atomic<std::int32_t>* viewMode = nullptr;      // 1 full screen, 2 windowed
  std::atomic<std::int32_t>* sessionState = nullptr;  // 1 full screen entered, 2 end requested, 4 back windowed
  UserMessages* messages = nullptr;                   // boxes, caption, catalogue, owner
  std::string titleAddress;                           // the server address, for the full-screen title
  ViewOptions view;                                   // [VIEW] of consoleclient.ini
};

class ViewerWindow : public SessionWindowPort, public ClipboardPort, public KeyEventSink, public ViewerWindowPort {
 public:
  static constexpr std::uint32_t kReleaseAllKeys = 0xFFFFFFFF;

  // `link` carries the window's key and pointer events; it outlives the window object.
  static std::unique_ptr<ViewerWindow> create(const ViewerSettings& settings, ConsoleLink& link);

  virtual SurfacePort& surface() = 0;
  // ClientWndFull: into the full-screen view (`windowed` false) or back into the host's window.
  virtual void switchView(bool windowed) = 0;
  // Closes the window as the host's exit does: WM_CLOSE, then destruction if it still exists.
  // A host window hidden under the full-screen view is shown again first.
  virtual void close() = 0;
  // The session is going away: no message of the window reaches it from now on.
  virtual void detach() = 0;
  // A handle of our own to the receive thread (learnt on its first window update), null
  // before; used to wait for it and, as a last resort, to end it.
  virtual void* receiveThread() const = 0;
};

}  // namespace vantrel
