#include "viewer/sdl/viewer_window_sdl.h"

#include <SDL2/SDL.h>

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "input/key_event_sink.h"
#include "input/special_keys.h"
#include "input/viewer_window_port.h"
#include "viewer/client_connection.h"
#include "viewer/sdl/clipboard_sync.h"
#include "viewer/sdl/key_menu.h"
#include "viewer/sdl/key_translator.h"
#include "screen/shown_surface.h"
#include "viewer/sdl/view_layout.h"

namespace vantrel::cli {
namespace {

using Clock = ReconnectBackoff::Clock;
using namespace std::chrono_literals;

// The key event the DLL sends as its window goes: the console lets go of everything.
constexpr std::uint32_t kReleaseAllKeys = 0xFFFFFFFF;
constexpr Uint32 kFrameMilliseconds = 10;
constexpr auto kClipboardPoll = 250ms;
constexpr int kWheelStep = 48;

// A 5 x 7 pixel font with the letters of "reconnecting", each row's leftmost pixel the high bit.
struct Glyph {
  char letter;
  std::array<std::uint8_t, 7> rows;
};
constexpr std::array<Glyph, 8> kGlyphs = {{
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'n', {0x00, 0x00, 0x1E, 0x11, 0x11, 0x11, 0x11}},
    {'t', {0x08, 0x08, 0x1E, 0x08, 0x08, 0x09, 0x06}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'g', {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
}};

// Text over the middle of the picture, which is dimmed under it.
void drawBanner(SDL_Renderer* renderer, Size output, std::string_view text) {
  constexpr int kPixel = 4;
  const int width = static_cast<int>(text.size()) * 6 * kPixel;
  const int height = 7 * kPixel;
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 128);
  SDL_RenderFillRect(renderer, nullptr);
  const int left = (output.width - width) / 2, top = (output.height - height) / 2;
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 200);
  const SDL_Rect box{left - 3 * kPixel, top - 3 * kPixel, width + 5 * kPixel, height + 6 * kPixel};
  SDL_RenderFillRect(renderer, &box);
  SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (const Glyph& g : kGlyphs) {
      if (g.letter != text[i]) continue;
      for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
          if ((g.rows[static_cast<std::size_t>(row)] & (0x10 >> column)) == 0) continue;
          const SDL_Rect dot{left + (static_cast<int>(i) * 6 + column) * kPixel, top + row * kPixel, kPixel, kPixel};
          SDL_RenderFillRect(renderer, &dot);
        }
      }
    }
  }
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
}

// The session's view of the window: what the receive thread asks for is noted here and done by
// the window thread, which alone may call SDL's video functions.
class SessionPorts final : public SessionWindowPort,
                           public ClipboardPort,
                           public KeyEventSink,
                           public ViewerWindowPort {
 public:
  SessionPorts(ConsoleLink& link, SDL_Window* window, bool fullScreenView)
      : fullScreen(fullScreenView), link_(link), window_(window) {}

  bool createViewerWindow(ClientConnection& connection) override {
    connection.announceSurface(true);
    return true;
  }
  WindowRef viewerWindow() const override { return window_; }
  void updateWindow() override {}
  bool parentVisible() const override { return true; }
  WindowRef parentOfParent() const override { return nullptr; }
  int viewMode() const override { return fullScreen.load() ? 1 : 2; }
  void fitWindow() override { fitWanted = true; }
  void postSizeMessage() override {}
  void requestSessionEnd() override { endRequested = true; }

  void setLocalClipboard(std::span<const std::uint8_t> text) override {
    const std::lock_guard guard(clipboardLock_);
    consoleText_.emplace(text.begin(), text.end());
  }
  std::optional<std::vector<std::uint8_t>> takeConsoleText() {
    const std::lock_guard guard(clipboardLock_);
    auto text = std::move(consoleText_);
    consoleText_.reset();
    return text;
  }

  bool sendKeyEvent(std::uint32_t keysym, bool down) override {
    ConsoleMessage event = keyEventMessage(keysym, down);
    return link_.sendMessage(event);
  }
  bool sendSpecialRequest(SpecialRequest request) override {
    ConsoleMessage event = controlMessage(static_cast<std::uint16_t>(request));
    return link_.sendMessage(event);
  }
  void send(const std::vector<KeyEvent>& events) {
    for (const KeyEvent& e : events) sendKeyEvent(e.keysym, e.down);
  }

  void takeFocus() override { SDL_RaiseWindow(window_); }  // window thread: the key menu sent a sequence
  void requestClose() override {}

  std::atomic<bool> fullScreen;
  std::atomic<bool> fitWanted{false};
  std::atomic<bool> endRequested{false};

 private:
  ConsoleLink& link_;
  SDL_Window* window_;
  std::mutex clipboardLock_;
  std::optional<std::vector<std::uint8_t>> consoleText_;
};

struct PointerState {
  Point at{-1, -1};
  std::uint8_t mask = 0;
  friend bool operator==(const PointerState&, const PointerState&) = default;
};

}  // namespace

class SdlViewerWindow::Impl {
 public:
  explicit Impl(const ViewerWindowOptions& options) : options_(options), fullScreen_(options.fullScreen) {}
  ~Impl() {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_Quit();
  }

  bool start(std::string& error) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
      error = std::string("cannot start the display: ") + SDL_GetError();
      return false;
    }
    // Without a display SDL falls back to drawing nowhere; only a caller who asks for that gets it.
    const std::string_view driver = SDL_GetCurrentVideoDriver();
    const char* chosen = SDL_getenv("SDL_VIDEODRIVER");
    if ((driver == "offscreen" || driver == "dummy") && (chosen == nullptr || *chosen == '\0')) {
      error = "no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)";
      return false;
    }
    return true;
  }

  SessionEnd runSession(ConsoleLink& link, UserMessages& messages);
  bool waitReconnecting(Clock::time_point until);

 private:
  bool ensureWindow();
  void setTitle();
  void setFullScreen(bool on);
  void fitToRemote(Size remote);
  bool scaled() const { return !options_.oneToOne || fullScreen_; }
  void upload(ShownSurface& surface);
  void render();
  Size outputSize() const;
  Point outputPoint(int x, int y) const;

  ViewerWindowOptions options_;
  bool fullScreen_;
  bool reconnecting_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  Size textureSize_;
  Point scroll_;
  ViewLayout layout_;
  bool dirty_ = true;
};

bool SdlViewerWindow::Impl::ensureWindow() {
  if (window_ != nullptr) return true;
  const Uint32 flags =
      SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | (fullScreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  window_ = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480, flags);
  if (window_ == nullptr) return false;
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
  if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (renderer_ == nullptr) return false;
  setTitle();
  SDL_StartTextInput();
  return true;
}

void SdlViewerWindow::Impl::setTitle() {
  const std::string title = "Vantrel - " + options_.title + (reconnecting_ ? " (reconnecting)" : "");
  SDL_SetWindowTitle(window_, title.c_str());
}

void SdlViewerWindow::Impl::setFullScreen(bool on) {
  fullScreen_ = on;
  SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  if (!on && textureSize_.width > 0) fitToRemote(textureSize_);  // a viewer started full screen has no size yet
  dirty_ = true;
}

// The window as large as the remote screen where the desktop has room, else scaled to fit.
void SdlViewerWindow::Impl::fitToRemote(Size remote) {
  if (fullScreen_) return;
  SDL_Rect usable{};
  const int display = SDL_GetWindowDisplayIndex(window_);
  if (display < 0 || SDL_GetDisplayUsableBounds(display, &usable) != 0) usable = {0, 0, 0, 0};
  const Size size = initialWindowSize(remote, {usable.w, usable.h}, options_.oneToOne);
  SDL_SetWindowSize(window_, size.width, size.height);
  const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_MASK | static_cast<unsigned>(std::max(display, 0)));
  SDL_SetWindowPosition(window_, centred, centred);
  dirty_ = true;
}

void SdlViewerWindow::Impl::upload(ShownSurface& surface) {
  surface.takeChanges([this](const ShownSurface::Changes& changes) {
    const Size size{static_cast<int>(changes.width), static_cast<int>(changes.height)};
    const int pitch = size.width * 4;
    dirty_ = true;
    if (changes.resized) {
      if (texture_ == nullptr || size != textureSize_) {
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        texture_ = size.width > 0 ? SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                                      size.width, size.height)
                                  : nullptr;
        textureSize_ = texture_ != nullptr ? size : Size{};
      }
      if (texture_ != nullptr) SDL_UpdateTexture(texture_, nullptr, changes.pixels.data(), pitch);
      return;
    }
    if (texture_ == nullptr || size != textureSize_) return;
    for (const SurfaceRect& r : changes.rects) {
      const SDL_Rect area{r.left, r.top, r.width(), r.height()};
      const std::size_t first = static_cast<std::size_t>(r.top) * changes.width + static_cast<std::size_t>(r.left);
      SDL_UpdateTexture(texture_, &area, changes.pixels.data() + first, pitch);
    }
  });
}

Size SdlViewerWindow::Impl::outputSize() const {
  Size size;
  SDL_GetRendererOutputSize(renderer_, &size.width, &size.height);
  return size;
}

// Window coordinates (what mouse events carry) to the renderer's pixels, which differ on a
// scaled desktop.
Point SdlViewerWindow::Impl::outputPoint(int x, int y) const {
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  const Size output = outputSize();
  if (w <= 0 || h <= 0) return {x, y};
  return {static_cast<int>(std::int64_t{x} * output.width / w), static_cast<int>(std::int64_t{y} * output.height / h)};
}

void SdlViewerWindow::Impl::render() {
  const Size output = outputSize();
  layout_ = fitView(textureSize_, output, scaled(), scroll_);
  scroll_ = {layout_.source.x, layout_.source.y};
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  if (texture_ != nullptr) {
    const bool oneToOne =
        layout_.source.width == layout_.target.width && layout_.source.height == layout_.target.height;
    SDL_SetTextureScaleMode(texture_, oneToOne ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    const SDL_Rect source{layout_.source.x, layout_.source.y, layout_.source.width, layout_.source.height};
    const SDL_Rect target{layout_.target.x, layout_.target.y, layout_.target.width, layout_.target.height};
    SDL_RenderCopy(renderer_, texture_, &source, &target);
  }
  if (reconnecting_) drawBanner(renderer_, output, "reconnecting");
  SDL_RenderPresent(renderer_);
  dirty_ = false;
}

SessionEnd SdlViewerWindow::Impl::runSession(ConsoleLink& link, UserMessages& messages) {
  if (!ensureWindow()) {
    std::fprintf(stderr, "vantrel view: cannot open a window: %s\n", SDL_GetError());
    return SessionEnd::Closed;
  }
  reconnecting_ = false;
  setTitle();
  dirty_ = true;

  ShownSurface surface;
  SessionPorts ports(link, window_, fullScreen_);
  auto connection = ClientConnection::create({surface, ports, ports, messages}, {0ms});
  if (!connection) return SessionEnd::ServerEnded;
  connection->link = &link;
  connection->maxClipboardSend = options_.clipboardLimit;
  connection->start();

  KeyTranslator keys;
  ClipboardSync clipboard;
  PointerState pointer;
  std::uint8_t buttons = 0;
  std::set<SDL_Scancode> ownKeys;  // pressed for the window itself: their releases stay here
  auto nextClipboardLook = Clock::now();

  const auto sendPointer = [&](int x, int y) {
    const Point at = remotePoint(layout_, outputPoint(x, y));
    const PointerState now{at, buttons};
    if (now == pointer || textureSize_.width == 0) return;
    ConsoleMessage event = pointerEventMessage(static_cast<std::uint16_t>(at.x), static_cast<std::uint16_t>(at.y), buttons);
    link.sendMessage(event);
    pointer = now;
  };
  const auto openMenu = [&]() -> bool {
    ports.send(keys.releaseAll());
    const auto items = keyMenuItems(fullScreen_);
    std::vector<SDL_MessageBoxButtonData> buttonData;
    for (std::size_t i = 0; i < items.size(); ++i) buttonData.push_back({0, static_cast<int>(i), items[i].label});
    buttonData.push_back({SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, -1, "Cancel"});
    const SDL_MessageBoxData box{SDL_MESSAGEBOX_INFORMATION,
                                 window_,
                                 "Vantrel keys",
                                 "Send a key combination to the console, or:",
                                 static_cast<int>(buttonData.size()),
                                 buttonData.data(),
                                 nullptr};
    int chosen = -1;
    if (SDL_ShowMessageBox(&box, &chosen) != 0 || chosen < 0) return true;
    const MenuAction action = items[static_cast<std::size_t>(chosen)].action;
    if (const auto sequence = sequenceOf(action)) {
      sendSpecialSequence(static_cast<std::uint32_t>(*sequence), &ports, ports);
    } else if (action == MenuAction::LeaveFullScreen) {
      setFullScreen(false);
      ports.fullScreen = false;
    } else {
      return false;  // Disconnect
    }
    return true;
  };

  SessionEnd end = SessionEnd::LinkLost;
  for (bool running = true; running;) {
    SDL_Event e;
    bool have = SDL_WaitEventTimeout(&e, kFrameMilliseconds) != 0;
    for (; have && running; have = SDL_PollEvent(&e) != 0) {
      switch (e.type) {
        case SDL_QUIT:
          end = SessionEnd::Closed;
          running = false;
          break;
        case SDL_WINDOWEVENT:
          if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) ports.send(keys.releaseAll());
          if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) nextClipboardLook = Clock::now();
          dirty_ = true;
          break;
        case SDL_KEYDOWN: {
          const SDL_Keysym& k = e.key.keysym;
          if (k.sym == options_.fullScreenKey || k.sym == options_.menuKey) {
            ownKeys.insert(k.scancode);
            if (e.key.repeat != 0) break;
            if (k.sym == options_.fullScreenKey) {
              setFullScreen(!fullScreen_);
              ports.fullScreen = fullScreen_;
            } else if (!openMenu()) {
              end = SessionEnd::Closed;
              running = false;
            }
            break;
          }
          ports.send(keys.keyDown(k.scancode, k.sym, k.mod));
          break;
        }
        case SDL_KEYUP:
          if (ownKeys.erase(e.key.keysym.scancode) == 0) ports.send(keys.keyUp(e.key.keysym.scancode));
          break;
        case SDL_TEXTINPUT:
          ports.send(keys.text(e.text.text));
          break;
        case SDL_MOUSEMOTION:
          sendPointer(e.motion.x, e.motion.y);
          break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
          const std::uint8_t bit = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_RIGHT ? 4 : 0;
          buttons = static_cast<std::uint8_t>(e.type == SDL_MOUSEBUTTONDOWN ? buttons | bit : buttons & ~bit);
          sendPointer(e.button.x, e.button.y);
          break;
        }
        case SDL_MOUSEWHEEL: {
          // The wheel scrolls a 1:1 view that is larger than the window; the console gets nothing.
          const bool sideways = (SDL_GetModState() & KMOD_SHIFT) != 0;
          scroll_.x += (sideways ? -e.wheel.y : e.wheel.x) * kWheelStep;
          scroll_.y -= sideways ? 0 : e.wheel.y * kWheelStep;
          dirty_ = true;
          break;
        }
        case SDL_CLIPBOARDUPDATE:
          nextClipboardLook = Clock::now();
          break;
        default:
          break;
      }
    }
    if (ports.fitWanted.exchange(false)) {
      const DisplayState& display = connection->display();
      fitToRemote({static_cast<int>(display.remoteWidth()), static_cast<int>(display.remoteHeight())});
    }
    if (auto text = ports.takeConsoleText()) {
      SDL_SetClipboardText(clipboard.consoleText(*text).c_str());
    }
    if (Clock::now() >= nextClipboardLook) {
      nextClipboardLook = Clock::now() + kClipboardPoll;
      if (SDL_HasClipboardText() == SDL_TRUE) {
        if (char* local = SDL_GetClipboardText()) {
          if (const auto text = clipboard.localText(local, connection->maxClipboardSend)) {
            connection->sendClipboardText(*text);
          }
          SDL_free(local);
        }
      }
    }
    upload(surface);
    if (dirty_) render();
    if (running && connection->receiveThreadEnded()) {
      end =
          connection->closedByServer.load() != 0 || ports.endRequested ? SessionEnd::ServerEnded : SessionEnd::LinkLost;
      running = false;
    }
  }
  if (end == SessionEnd::Closed) {
    ports.send(keys.releaseAll());
    ports.sendKeyEvent(kReleaseAllKeys, false);
  }
  connection->stop();
  upload(surface);
  return end;
}

bool SdlViewerWindow::Impl::waitReconnecting(Clock::time_point until) {
  if (!ensureWindow()) return false;
  reconnecting_ = true;
  setTitle();
  render();
  while (Clock::now() < until) {
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, kFrameMilliseconds) == 0) continue;
    do {
      if (e.type == SDL_QUIT) return false;
      if (e.type == SDL_WINDOWEVENT) dirty_ = true;
      if (e.type == SDL_KEYDOWN && e.key.keysym.sym == options_.fullScreenKey && e.key.repeat == 0) {
        setFullScreen(!fullScreen_);
      }
    } while (SDL_PollEvent(&e) != 0);
    if (dirty_) render();
  }
  return true;
}

std::unique_ptr<SdlViewerWindow> SdlViewerWindow::open(const ViewerWindowOptions& options, std::string& error) {
  auto impl = std::make_unique<Impl>(options);
  if (!impl->start(error)) return nullptr;
  return std::unique_ptr<SdlViewerWindow>(new SdlViewerWindow(std::move(impl)));
}

SdlViewerWindow::SdlViewerWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SdlViewerWindow::~SdlViewerWindow() = default;

SessionEnd SdlViewerWindow::runSession(ConsoleLink& link, UserMessages& messages) {
  return impl_->runSession(link, messages);
}

bool SdlViewerWindow::waitReconnecting(Clock::time_point until) { return impl_->waitReconnecting(until); }

}  // namespace vantrel::cli
