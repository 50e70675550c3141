#pragma once
// The session object: created after a successful login, it owns the receive and decode
// buffers, the display state and the receive thread. The receive thread reads one server
// message at a time from the ConsoleLink, hands it to its handler and acknowledges it.
//
// The platform is reached through ports only (surface, window, clipboard, message boxes), so
// the same session runs inside the DLL and in the headless vantrel tool.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

#include "catalog/user_messages.h"
#include "clipboard/clipboard_text.h"
#include "protocol/console_link.h"
#include "protocol/console_message.h"
#include "screen/display_state.h"
#include "screen/screen_codec.h"
#include "screen/surface_port.h"
#include "viewer/message_dispatch.h"
#include "viewer/session_ports.h"

namespace vantrel {

struct SessionPorts {
  SurfacePort& surface;
  SessionWindowPort& window;
  ClipboardPort& clipboard;
  UserMessages& messages;
};

class ClientConnection {
 public:
  static constexpr std::size_t kReceiveBufferSize = kViewerPayloadCapacity;
  static constexpr std::size_t kDecodeBufferSize = kViewerDecodeBufferSize;

  struct Options {
    // How long the destructor waits before it releases anything; the host relies on a
    // session's end taking at least this long.
    std::chrono::milliseconds closingPause{500};
  };

  // Refuses the session ("CreateMemFailed", nullptr) when the large buffers cannot be had.
  static std::unique_ptr<ClientConnection> create(SessionPorts ports, Options options);
  static std::unique_ptr<ClientConnection> create(SessionPorts ports) { return create(ports, Options{}); }

  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;
  // Waits the closing pause, stops and joins the receive thread, then releases everything.
  virtual ~ClientConnection();

  // Set by the caller before start.
  std::int32_t areaTop = 0;
  std::int32_t areaLeft = 0;
  WindowRef parentWindow = nullptr;
  std::int32_t areaWidth = 0;
  std::int32_t areaHeight = 0;
  void* instance = nullptr;      // the module handle (window class, icon, cursor)
  ConsoleLink* link = nullptr;   // logged in, not owned; outlives this object
  // The longest local text sent (after its CRs are removed); 0 or less: no limit.
  std::int32_t maxClipboardSend = kMaxClipboardSend;

  // Creates the viewer window on the calling thread and starts the receive thread. False
  // when the thread could not be started ("StartSecThreadFaile" shown); the session object
  // stays usable without it.
  bool start();

  // The viewer window's WM_CREATE (`windowCreated`) and WM_DISPLAYCHANGE: rebuild the surface,
  // query its depth and send it as DisplayDepth. Window thread.
  bool announceSurface(bool windowCreated);

  // One clipboard text to the console, already made ready (clipboardTextToSend). Either thread.
  bool sendClipboardText(std::string_view text);

  // Asks the receive thread to end at the top of its next pass (the viewer window was closed
  // or destroyed). Does not wait.
  void requestStop() { receiveStop = 1; }
  // Ends the receive thread and waits for it: the link is shut down so that a blocked receive
  // returns at once. The link is dead afterwards.
  void stop();
  bool receiveThreadEnded() const { return threadEnded_.load(); }
  // Acknowledgements that went out whole, and the bytes of the whole messages received.
  std::uint64_t acknowledgementsSent() const { return acknowledgements_.load(); }
  std::uint64_t bytesReceived() const { return bytesReceived_.load(); }

  // The receive thread's procedure, and one pass of its work (exposed for tests).
  void receiveLoop();
  void dispatchOne();
  bool sendAck();

  DisplayState& display() { return *display_; }
  const DisplayState& display() const { return *display_; }
  SessionWindowPort& window() { return ports_.window; }

  std::atomic<std::int32_t> threadStarted{1};
  std::atomic<std::int32_t> closedByServer{0};
  std::atomic<std::int32_t> receiveStop{0};
  std::atomic<std::int32_t> sessionAbort{0};

 private:
  class Host;
  ClientConnection(SessionPorts ports, Options options, std::unique_ptr<std::uint8_t[]> receiveBuffer,
                   std::unique_ptr<std::uint8_t[]> decodeBuffer);
  void serverCut();
  WindowRef serverCutOwner() const;

  SessionPorts ports_;
  Options options_;
  std::unique_ptr<std::uint8_t[]> receiveBuffer_;
  std::unique_ptr<std::uint8_t[]> decodeBuffer_;
  ScreenCodec codec_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<DisplayState> display_;
  std::thread thread_;
  std::atomic<bool> threadEnded_{false};
  std::atomic<std::uint64_t> acknowledgements_{0};
  std::atomic<std::uint64_t> bytesReceived_{0};
};

}  // namespace vantrel
