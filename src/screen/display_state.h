#pragma once
// What the viewer shows of the remote screen: the three server messages that change it
// (ScreenUpdate, OverlayUpdate, ScreenFormat), the decisions they take (copy or exclusive-or,
// clear first, full frame seen, which colour table, the overlay to erase) and the painting of
// the window. The drawing itself goes through a SurfacePort.
//
// Threads: the three handlers run on the receive thread; paintWindow, surfaceCreated and the
// scroll offsets belong to the window's thread. surfaceLock is held around every call into the
// port that touches the surface, never while a box is up.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

#include "catalog/message_box.h"
#include "catalog/user_messages.h"
#include "protocol/console_message.h"
#include "screen/dib_format.h"
#include "screen/screen_codec.h"
#include "screen/surface_port.h"

namespace vantrel {

// The parts of the session the display reaches beyond the surface.
class DisplayHost {
 public:
  virtual ~DisplayHost() = default;
  virtual WindowRef viewerWindow() const = 0;
  virtual bool windowedView() const = 0;  // viewMode 2
  // The surface has a new size: fit the window to it (view geometry), then post WM_SIZE 0, 0.
  virtual void surfaceResized() = 0;
  // The remote screen has a size we cannot show: end the receive loop and ask the host to end
  // the session (SessionState 2).
  virtual void abortSession() = 0;
};

// What became of an update message.
enum class UpdateResult : std::uint8_t {
  Drawn,
  Undecodable,   // the codec refused the payload: nothing drawn, the session goes on
  TooLarge,      // the decoded rectangle would not fit decodeBuffer
  BadBitmap,     // the bitmap is not one we can draw: nothing drawn, the session goes on
  NoSurface,     // there is no surface to draw into: nothing drawn
};

// A TooLarge rectangle means the server is not following the protocol: the link is given up.
inline bool endsSession(UpdateResult result) { return result == UpdateResult::TooLarge; }

class DisplayState {
 public:
  static constexpr std::size_t kFormatSize = 1064;       // BITMAPINFOHEADER + 256 colours
  static constexpr std::size_t kColourTableSize = 1024;  // 256 RGBQUADs
  static constexpr std::uint32_t kInitialSize = 10;      // from window creation to the first ScreenFormat
  static constexpr const char* kUnsupportedResolutionText =
      "The resolution of the current server is not supported, please change to 640X480, 800X600 or 1024X768.";

  // `decodeBuffer` is where rectangles are expanded; both it and the codec outlive this object.
  DisplayState(SurfacePort& surface, DisplayHost& host, UserMessages& messages, ScreenCodec& codec,
               std::span<std::uint8_t> decodeBuffer);
  DisplayState(const DisplayState&) = delete;
  DisplayState& operator=(const DisplayState&) = delete;
  virtual ~DisplayState() = default;

  // Receive thread. `payload` is the message's payload as received.
  UpdateResult handleScreenUpdate(const ConsoleMessage& message, std::span<const std::uint8_t> payload);
  UpdateResult handleOverlayUpdate(const ConsoleMessage& message, std::span<const std::uint8_t> payload);
  void handleScreenFormat(const ConsoleMessage& message, std::span<const std::uint8_t> payload);

  // Window thread, at WM_CREATE (`windowCreated`: the remote size starts at 10 x 10) and at
  // WM_DISPLAYCHANGE: rebuilds the surface at the remote size and queries its format. Returns
  // the surface's bits per pixel, for DisplayDepth.
  std::uint16_t surfaceCreated(bool windowCreated);

  // WM_PAINT. False when nothing was painted (no full frame yet): the window procedure then
  // leaves the paint to its default handling.
  bool paintWindow(WindowRef window);

  // Scroll offsets, set by the view code on the window thread.
  void setScroll(ScrollOffset scroll);
  // Runs `change` with the surface lock held: how the window thread changes anything else the
  // drawing on the receive thread reads (the Win32 shell's scaled view).
  template <typename Change>
  void withSurfaceLocked(Change&& change) {
    const std::lock_guard lock(surfaceLock_);
    change();
  }
  ScrollOffset scroll() const { return {scrollX.load(), scrollY.load()}; }

  std::uint32_t remoteWidth() const { return remoteWidth_.load(); }
  std::uint32_t remoteHeight() const { return remoteHeight_.load(); }
  bool fullFrameSeen() const { return fullFrameSeen_.load() != 0; }
  bool copyMode() const { return copyMode_ != 0; }
  bool clearFirst() const { return clearFirst_ != 0; }
  SurfaceRect overlayRect() const { return overlayRect_; }
  std::uint16_t surfaceBitCount() const { return surfaceBitCount_.load(); }
  // ScreenUpdates drawn so far (for a headless viewer waiting for frames).
  std::uint64_t updatesDrawn() const { return updatesDrawn_.load(); }
  std::span<const std::uint8_t, kColourTableSize> colourTable() const { return colourTable_; }

  // Builds the logical palette from the stored colour table (realiseStoredPalette) or from a
  // bitmap's own header (realiseHeaderPalette). Exposed for tests.
  static std::array<PaletteEntry, 256> storedPaletteEntries(std::span<const std::uint8_t, kColourTableSize> table);
  static std::span<const PaletteEntry> headerPaletteEntries(std::span<const std::uint8_t> info,
                                                            std::array<PaletteEntry, 256>& out);

 private:
  // A decoded rectangle ready to draw: where, and the bitmap (info in drawInfo).
  struct Update {
    SurfaceRect rect;
    bool storedColours = false;  // the colour-table flag
    DibFormat format;
    std::span<const std::uint8_t> pixels;
  };
  UpdateResult prepare(const ConsoleMessage& message, std::span<const std::uint8_t> payload, Update& update);
  DibImage image(const Update& update) const;
  void realiseStoredPalette();
  void realiseHeaderPalette(std::span<const std::uint8_t> info);
  // Under surfaceLock; the boxes for what failed are shown afterwards, without it.
  struct Rebuilt {
    std::optional<SurfaceResult> created;
    bool queried = true;
  };
  Rebuilt rebuildLocked(bool create);
  void report(const Rebuilt& rebuilt);

  SurfacePort& surface_;
  DisplayHost& host_;
  UserMessages& messages_;
  ScreenCodec& codec_;
  std::span<std::uint8_t> decodeBuffer_;

  std::mutex surfaceLock_;
  std::array<std::uint8_t, kFormatSize> surfaceFormat_{};  // under surfaceLock
  std::array<std::uint8_t, kFormatSize> drawInfo_{};       // receive thread only
  std::array<std::uint8_t, kColourTableSize> colourTable_{};
  std::atomic<std::uint16_t> surfaceBitCount_{0};
  bool paletteRealised_ = false;  // under surfaceLock

  std::uint32_t copyMode_ = 0;
  std::uint32_t clearFirst_ = 0;
  SurfaceRect overlayRect_{};
  std::atomic<std::uint32_t> fullFrameSeen_{0};
  std::atomic<std::uint32_t> remoteWidth_{kInitialSize};
  std::atomic<std::uint32_t> remoteHeight_{kInitialSize};
  std::atomic<std::int32_t> scrollX{0};
  std::atomic<std::int32_t> scrollY{0};
  std::atomic<std::uint64_t> updatesDrawn_{0};
};

}  // namespace vantrel
