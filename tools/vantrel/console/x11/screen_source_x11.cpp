#include "console/x11/screen_source_x11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "console/area_scaler.h"
#include "console/x11/pixel_layout.h"
#include "console/x11/x_display.h"

namespace vantrel::cli {
namespace {

using std::chrono::milliseconds;

constexpr int kTile = 32;
constexpr int kMostDamageRects = 32;  // beyond this, their bounding box is read at once
constexpr milliseconds kPoll{20};

PixelRect clip(PixelRect r, ScreenSize to) {
  const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
  const int x1 = std::min(r.x + r.width, to.width), y1 = std::min(r.y + r.height, to.height);
  return x0 < x1 && y0 < y1 ? PixelRect{x0, y0, x1 - x0, y1 - y0} : PixelRect{};
}

PixelRect bounds(const std::vector<PixelRect>& rects) {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  for (const auto& r : rects) {
    x0 = std::min(x0, r.x), y0 = std::min(y0, r.y);
    x1 = std::max(x1, r.x + r.width), y1 = std::max(y1, r.y + r.height);
  }
  return x1 < 0 ? PixelRect{} : PixelRect{x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

struct X11ScreenSource::Impl {
  DisplayHandle display;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  ScreenSize desktop;
  std::optional<PixelConverter> converter;
  DesktopGeometry geometry;
  std::optional<AreaScaler> scaler;

  // MIT-SHM: one segment that holds the whole root window.
  XShmSegmentInfo shm{};
  bool haveShm = false;
  // XDamage
  bool haveDamage = false;
  int damageEvents = 0;
  Damage damage = 0;
  // XFixes cursor notifications
  bool haveFixes = false;
  int fixesEvents = 0;
  bool cursorStale = true;
  CursorSprite sprite;
  std::uint64_t spriteSerial = 0;

  RgbImage frame;                       // the served screen
  std::vector<std::uint8_t> desktopRgb;  // the desktop before scaling (scaled geometry only)
  std::vector<std::uint8_t> previous;    // native pixels last seen (tile comparison only)
  std::size_t previousStride = 0;
  std::vector<ScreenFeed::Rect> changes;
  bool first = true;

  // watchChanges: a thread that waits for the server's next bytes and says so, then waits for
  // frameAt to have read them before it waits again.
  std::thread watcher;
  int wake[2] = {-1, -1};  // a pipe; a byte in it ends the watcher
  std::mutex watchLock;
  std::condition_variable looked;
  bool reported = false;  // the watcher has said so and frameAt has not yet read
  bool stopping = false;
  std::function<void()> onChange;

  ~Impl() {
    if (watcher.joinable()) {
      {
        std::lock_guard guard(watchLock);
        stopping = true;
      }
      looked.notify_all();
      const char byte = 0;
      if (write(wake[1], &byte, 1) < 0) {}  // the watcher may already have ended
      watcher.join();
      close(wake[0]);
      close(wake[1]);
    }
    if (!display) return;
    const bool serverThere = !displayLost();
    if (haveDamage && serverThere) XDamageDestroy(display.get(), damage);
    if (haveShm) {
      if (serverThere) {
        XShmDetach(display.get(), &shm);
        XSync(display.get(), False);
      }
      shmdt(shm.shmaddr);
    }
  }

  bool attachShm(std::size_t bytes) {
    int major = 0, minor = 0;
    Bool pixmaps = False;
    if (!XShmQueryVersion(display.get(), &major, &minor, &pixmaps)) return false;
    shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shm.shmid < 0) return false;
    shm.shmaddr = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
    shm.readOnly = False;
    const auto before = xErrorCount();
    const bool attached = shm.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display.get(), &shm);
    XSync(display.get(), False);
    // Marked for removal now: it goes when both sides have detached, even after a crash.
    shmctl(shm.shmid, IPC_RMID, nullptr);
    if (attached && xErrorCount() == before) return true;  // a server on another machine fails here
    if (shm.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm.shmaddr);
    return false;
  }

  // Reads a desktop rectangle and hands its rows to `use(data, stride)`.
  template <class Use>
  bool read(const PixelRect& r, Use use) {
    if (haveShm) {
      XImage* image = XShmCreateImage(display.get(), visual, static_cast<unsigned>(depth), ZPixmap, shm.shmaddr,
                                      &shm, static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
      if (image == nullptr) return false;
      const bool ok = XShmGetImage(display.get(), root, image, r.x, r.y, AllPlanes) != 0;
      if (ok) use(reinterpret_cast<const std::uint8_t*>(image->data), static_cast<std::size_t>(image->bytes_per_line));
      image->data = nullptr;  // the segment is ours, not the image's
      XDestroyImage(image);
      return ok;
    }
    XImage* image = XGetImage(display.get(), root, r.x, r.y, static_cast<unsigned>(r.width),
                              static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    use(reinterpret_cast<const std::uint8_t*>(image->data), static_cast<std::size_t>(image->bytes_per_line));
    XDestroyImage(image);
    return true;
  }

  void watch() {
    const int fd = ConnectionNumber(display.get());
    for (;;) {
      pollfd waits[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
      if (poll(waits, 2, -1) < 0 && errno != EINTR) return;
      std::unique_lock lk(watchLock);
      if (stopping || waits[1].revents != 0) return;
      if (waits[0].revents == 0) continue;
      reported = true;
      if (onChange) onChange();
      // A connection that has gone is said once; Xlib ends the console at its next call.
      if ((waits[0].revents & (POLLHUP | POLLERR)) != 0) return;
      looked.wait(lk, [&] { return !reported || stopping; });
    }
  }

  // The watcher may wait again: what it saw is being read.
  void reading() {
    {
      std::lock_guard guard(watchLock);
      reported = false;
    }
    looked.notify_all();
  }

  // Converts desktop pixels of `r` (rows from `data`) into the served frame.
  void take(const PixelRect& r, const std::uint8_t* data, std::size_t stride) {
    const auto frameStride = static_cast<std::size_t>(frame.width) * 3;
    const auto width = static_cast<std::size_t>(r.width);
    if (!scaler) {
      const PixelRect at = geometry.picture();
      for (int row = 0; row < r.height; ++row) {
        std::uint8_t* out = &frame.rgb[static_cast<std::size_t>(at.y + r.y + row) * frameStride +
                                       static_cast<std::size_t>(at.x + r.x) * 3];
        converter->convert(data + static_cast<std::size_t>(row) * stride, width, out);
      }
      changes.push_back({at.x + r.x, at.y + r.y, r.width, r.height});
      return;
    }
    const auto desktopStride = static_cast<std::size_t>(desktop.width) * 3;
    for (int row = 0; row < r.height; ++row) {
      converter->convert(data + static_cast<std::size_t>(row) * stride, width,
                         &desktopRgb[static_cast<std::size_t>(r.y + row) * desktopStride + static_cast<std::size_t>(r.x) * 3]);
    }
    const PixelRect at = geometry.picture();
    const PixelRect out = scaler->affectedBy(r);
    scaler->scale(desktopRgb.data(), desktopStride,
                  &frame.rgb[static_cast<std::size_t>(at.y) * frameStride + static_cast<std::size_t>(at.x) * 3],
                  frameStride, out);
    changes.push_back({at.x + out.x, at.y + out.y, out.width, out.height});
  }

  // Reads the event queue: whether the desktop was damaged, and whether the cursor changed.
  bool pollEvents() {
    bool any = false;
    while (XPending(display.get()) > 0) {
      XEvent e;
      XNextEvent(display.get(), &e);
      if (haveDamage && e.type == damageEvents + XDamageNotify) any = true;
      if (haveFixes && e.type == fixesEvents + XFixesCursorNotify) cursorStale = true;
    }
    return any;
  }

  // The damaged areas since the last call; nothing when the desktop is unchanged.
  std::vector<PixelRect> damaged() {
    if (!pollEvents()) return {};
    XserverRegion region = XFixesCreateRegion(display.get(), nullptr, 0);
    XDamageSubtract(display.get(), damage, None, region);
    int count = 0;
    XRectangle* rects = XFixesFetchRegion(display.get(), region, &count);
    XFixesDestroyRegion(display.get(), region);
    std::vector<PixelRect> out;
    for (int i = 0; i < count; ++i) {
      const PixelRect r = clip({rects[i].x, rects[i].y, rects[i].width, rects[i].height}, desktop);
      if (!r.empty()) out.push_back(r);
    }
    if (rects != nullptr) XFree(rects);
    if (out.size() > static_cast<std::size_t>(kMostDamageRects)) out = {bounds(out)};
    return out;
  }

  // Without XDamage: the whole desktop is read and compared with the last reading, tile by tile.
  void compareTiles() {
    read({0, 0, desktop.width, desktop.height}, [&](const std::uint8_t* data, std::size_t stride) {
      const std::size_t rowBytes = static_cast<std::size_t>(desktop.width) * converter->bytesPerPixel();
      const bool all = previous.empty();
      if (all) {
        previousStride = rowBytes;
        previous.assign(rowBytes * static_cast<std::size_t>(desktop.height), 0);
      }
      for (int ty = 0; ty < desktop.height; ty += kTile) {
        const int rows = std::min(kTile, desktop.height - ty);
        for (int tx = 0; tx < desktop.width; tx += kTile) {
          const int cols = std::min(kTile, desktop.width - tx);
          const std::size_t offset = static_cast<std::size_t>(tx) * converter->bytesPerPixel();
          const std::size_t bytes = static_cast<std::size_t>(cols) * converter->bytesPerPixel();
          bool changed = all;
          for (int y = ty; y < ty + rows && !changed; ++y) {
            changed = std::memcmp(data + static_cast<std::size_t>(y) * stride + offset,
                                  &previous[static_cast<std::size_t>(y) * previousStride + offset], bytes) != 0;
          }
          if (!changed) continue;
          for (int y = ty; y < ty + rows; ++y) {
            std::memcpy(&previous[static_cast<std::size_t>(y) * previousStride + offset],
                        data + static_cast<std::size_t>(y) * stride + offset, bytes);
          }
          const PixelRect tile{tx, ty, cols, rows};
          take(tile, data + static_cast<std::size_t>(ty) * stride + offset, stride);
        }
      }
    });
  }
};

std::unique_ptr<X11ScreenSource> X11ScreenSource::open(const Options& options, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->display = openDisplay(options.display, error);
  if (!impl->display) return nullptr;
  Display* d = impl->display.get();
  const int screen = DefaultScreen(d);
  impl->root = RootWindow(d, screen);
  impl->visual = DefaultVisual(d, screen);
  impl->depth = DefaultDepth(d, screen);
  impl->desktop = {DisplayWidth(d, screen), DisplayHeight(d, screen)};

  PixelLayout layout;
  layout.mostSignificantFirst = ImageByteOrder(d) == MSBFirst;
  layout.redMask = static_cast<std::uint32_t>(impl->visual->red_mask);
  layout.greenMask = static_cast<std::uint32_t>(impl->visual->green_mask);
  layout.blueMask = static_cast<std::uint32_t>(impl->visual->blue_mask);
  layout.bitsPerPixel = 0;
  int formats = 0;
  if (XPixmapFormatValues* list = XListPixmapFormats(d, &formats)) {
    for (int i = 0; i < formats; ++i) {
      if (list[i].depth == impl->depth) layout.bitsPerPixel = list[i].bits_per_pixel;
    }
    XFree(list);
  }
  const int visualClass = impl->visual->c_class;
  if (visualClass == TrueColor || visualClass == DirectColor) impl->converter = PixelConverter::create(layout);
  if (!impl->converter) {
    error = "the X screen's pixel format (depth " + std::to_string(impl->depth) + ", " +
            std::to_string(layout.bitsPerPixel) + " bits a pixel) is not a true-colour format this console reads";
    return nullptr;
  }

  impl->geometry = DesktopGeometry::choose(impl->desktop, options.size);
  const ScreenSize served = impl->geometry.screen();
  impl->frame = {served.width, served.height,
                 std::vector<std::uint8_t>(static_cast<std::size_t>(served.width) * static_cast<std::size_t>(served.height) * 3, 0)};
  if (impl->geometry.scaled()) {
    impl->scaler.emplace(impl->desktop, ScreenSize{impl->geometry.width(), impl->geometry.height()});
    impl->desktopRgb.assign(static_cast<std::size_t>(impl->desktop.width) * static_cast<std::size_t>(impl->desktop.height) * 3, 0);
  }

  const std::size_t rowBytes = (static_cast<std::size_t>(impl->desktop.width) * static_cast<std::size_t>(layout.bitsPerPixel) / 8 + 7) / 8 * 8;
  impl->haveShm = impl->attachShm(rowBytes * static_cast<std::size_t>(impl->desktop.height) + 4096);

  int errorBase = 0;
  if (options.pollDamage && XDamageQueryExtension(d, &impl->damageEvents, &errorBase)) {
    impl->damage = XDamageCreate(d, impl->root, XDamageReportNonEmpty);
    impl->haveDamage = true;
  }
  int fixesErrors = 0;
  if (XFixesQueryExtension(d, &impl->fixesEvents, &fixesErrors)) {
    impl->haveFixes = true;
    XFixesSelectCursorInput(d, impl->root, XFixesDisplayCursorNotifyMask);
  }
  XSync(d, False);
  return std::unique_ptr<X11ScreenSource>(new X11ScreenSource(std::move(impl)));
}

X11ScreenSource::X11ScreenSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11ScreenSource::~X11ScreenSource() = default;

FrameSource::Frame X11ScreenSource::frameAt(milliseconds) {
  Impl& s = *impl_;
  s.reading();
  s.changes.clear();
  if (s.first || !s.haveDamage) {
    if (s.haveDamage) {
      s.damaged();  // what happened before this first whole reading is in it
      const PixelRect all{0, 0, s.desktop.width, s.desktop.height};
      s.read(all, [&](const std::uint8_t* data, std::size_t stride) { s.take(all, data, stride); });
    } else {
      s.pollEvents();
      s.compareTiles();
    }
    s.first = false;
    return {s.frame, s.changes};
  }
  for (const PixelRect& r : s.damaged()) {
    s.read(r, [&](const std::uint8_t* data, std::size_t stride) { s.take(r, data, stride); });
  }
  return {s.frame, s.changes};
}

// Events that Xlib took in while it read the screen or the pointer make no bytes for the watcher
// to see: they are looked at now. Otherwise the next look is a little later, for a pointer that
// moved (which damages nothing) and for servers without XDamage.
milliseconds X11ScreenSource::nextChange(milliseconds elapsed) const {
  return XEventsQueued(impl_->display.get(), QueuedAlready) > 0 ? elapsed : elapsed + kPoll;
}

void X11ScreenSource::watchChanges(std::function<void()> changed) {
  Impl& s = *impl_;
  if (!s.haveDamage) return;
  {
    std::lock_guard guard(s.watchLock);
    s.onChange = std::move(changed);
  }
  if (!s.watcher.joinable() && pipe2(s.wake, O_CLOEXEC) == 0) s.watcher = std::thread([&s] { s.watch(); });
}

const DesktopGeometry& X11ScreenSource::geometry() const { return impl_->geometry; }

std::optional<X11ScreenSource::Cursor> X11ScreenSource::cursor() {
  Impl& s = *impl_;
  if (!s.haveFixes) return std::nullopt;
  Display* d = s.display.get();
  if (s.cursorStale) {
    XFixesCursorImage* image = XFixesGetCursorImage(d);
    if (image == nullptr) return std::nullopt;
    s.sprite.width = image->width;
    s.sprite.height = image->height;
    s.sprite.hotX = image->xhot;
    s.sprite.hotY = image->yhot;
    s.sprite.argb.assign(static_cast<std::size_t>(image->width) * image->height, 0);
    for (std::size_t i = 0; i < s.sprite.argb.size(); ++i) {
      s.sprite.argb[i] = static_cast<std::uint32_t>(image->pixels[i]);  // 32 bits in an unsigned long
    }
    XFree(image);
    s.cursorStale = false;
    ++s.spriteSerial;
  }
  Window rootReturn = 0, child = 0;
  int x = 0, y = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  if (!XQueryPointer(d, s.root, &rootReturn, &child, &x, &y, &wx, &wy, &mask)) return std::nullopt;
  return Cursor{&s.sprite, s.spriteSerial, s.geometry.toScreen({x, y})};
}

std::string X11ScreenSource::describe() const {
  const Impl& s = *impl_;
  const auto size = [](ScreenSize z) { return std::to_string(z.width) + "x" + std::to_string(z.height); };
  std::string text = "X desktop " + size(s.desktop) + " served as " + size(s.geometry.screen());
  if (s.geometry.scaled()) text += " (scaled to " + std::to_string(s.geometry.width()) + "x" + std::to_string(s.geometry.height()) + ")";
  text += s.haveShm ? ", shared memory" : ", no shared memory";
  text += s.haveDamage ? ", XDamage" : ", tile comparison";
  return text;
}

}  // namespace vantrel::cli
