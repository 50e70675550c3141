#pragma once
// What the session object asks of the platform beyond the drawing surface (surface_port.h):
// the viewer window and the host's windows around it, and the local clipboard. The Win32
// shell implements these with USER calls; the headless shell with plain state.

#include <cstdint>
#include <span>

#include "catalog/message_box.h"

namespace vantrel {

class ClientConnection;

class SessionWindowPort {
 public:
  virtual ~SessionWindowPort() = default;

  // Creates the viewer window as a child of the host's window, on the calling thread. Its
  // creation announces the surface (ClientConnection::windowCreated). False when it failed.
  virtual bool createViewerWindow(ClientConnection& connection) = 0;
  virtual WindowRef viewerWindow() const = 0;
  // UpdateWindow(viewer window): any pending paint is carried out before the receive thread goes on.
  virtual void updateWindow() = 0;
  // IsWindowVisible(parentWindow) and GetParent(parentWindow): the owner of the server's
  // "session ended" box.
  virtual bool parentVisible() const = 0;
  virtual WindowRef parentOfParent() const = 0;
  // viewMode: 1 full screen, 2 windowed.
  virtual int viewMode() const = 0;
  // The remote size changed: fit the window to the new surface, then post WM_SIZE 0, 0.
  virtual void fitWindow() = 0;
  virtual void postSizeMessage() = 0;
  // SessionState = 2: the viewer asks the host to end the session.
  virtual void requestSessionEnd() = 0;
};

class ClipboardPort {
 public:
  virtual ~ClipboardPort() = default;
  // Clipboard text from the server: `text` is the payload as received (8-bit, LF line ends,
  // no terminator). Called on the receive thread.
  virtual void setLocalClipboard(std::span<const std::uint8_t> text) = 0;
};

}  // namespace vantrel
