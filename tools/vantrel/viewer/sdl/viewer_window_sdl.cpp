#include "viewer/sdl/viewer_window_sdl.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "input/key_event_sink.h"
#include "input/special_keys.h"
#include "input/viewer_window_port.h"
#include "latin1_text.h"
#include "screen/shown_surface.h"
#include "viewer/client_connection.h"
#include "viewer/sdl/clipboard_sync.h"
#include "viewer/sdl/full_screen_sdl.h"
#include "viewer/sdl/key_menu.h"
#include "viewer/sdl/key_translator.h"
#include "viewer/sdl/window_text.h"
#include "viewer/view_layout.h"

namespace vantrel::cli {
namespace {

using Clock = ReconnectBackoff::Clock;
using namespace std::chrono_literals;

// The key event the DLL sends as its window goes: the console lets go of everything.
constexpr std::uint32_t kReleaseAllKeys = 0xFFFFFFFF;
constexpr Uint32 kFrameMilliseconds = 10;
constexpr auto kClipboardPoll = 250ms;
constexpr int kWheelStep = 48;

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
    // SDL would try one driver after another, and one of them prints its own failure first.
    const auto given = [](const char* name) {
      const char* value = SDL_getenv(name);
      return value != nullptr && *value != '\0';
    };
    if (!given("SDL_VIDEODRIVER")) {
      if (!given("DISPLAY") && !given("WAYLAND_DISPLAY")) {
        error = "no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)";
        return false;
      }
      if (!given("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
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
  void fitToRemote(ExtentI remote);
  bool scaled() const { return !options_.oneToOne || fullScreen_; }
  void upload(ShownSurface& surface);
  void render();
  ExtentI outputSize() const;
  Point outputPoint(int x, int y) const;

  // The key menu while it is open: its items and the one chosen so far.
  struct OpenMenu {
    std::vector<MenuItem> items;
    std::size_t selected = 0;
  };
  void openMenu();
  // What a key or click does to the open menu: nothing more, close it, or an item's action.
  std::optional<MenuAction> menuKey(SDL_Keycode key);
  std::optional<MenuAction> menuClick(Point at);
  // The console takes Latin-1 text only: said once, when text outside it is typed or pasted.
  void sayLatin1Only();

  ViewerWindowOptions options_;
  bool fullScreen_;
  FullScreenSwitch fullScreenSwitch_;
  std::optional<OpenMenu> menu_;
  bool saidLatin1Only_ = false;
  bool reconnecting_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  ExtentI textureSize_;
  Point scroll_;
  ViewLayout layout_;
  bool dirty_ = true;
};

bool SdlViewerWindow::Impl::ensureWindow() {
  if (window_ != nullptr) return true;
  window_ = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                             SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
  if (window_ == nullptr) return false;
  renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
  if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (renderer_ == nullptr) return false;
  setTitle();
  // Made full screen once it is there, in whichever way the display allows.
  if (fullScreen_) setFullScreen(true);
  SDL_StartTextInput();
  return true;
}

void SdlViewerWindow::Impl::setTitle() {
  const std::string title = "Vantrel - " + options_.title + (reconnecting_ ? " (reconnecting)" : "");
  SDL_SetWindowTitle(window_, title.c_str());
}

void SdlViewerWindow::Impl::setFullScreen(bool on) {
  fullScreen_ = on;
  if (on) {
    fullScreenSwitch_.enter(window_);
  } else {
    fullScreenSwitch_.leave(window_);
    if (textureSize_.width > 0) fitToRemote(textureSize_);  // a viewer started full screen has no size yet
  }
  if (menu_) menu_ = OpenMenu{keyMenuItems(fullScreen_)};  // "Leave full screen" comes and goes
  dirty_ = true;
}

void SdlViewerWindow::Impl::openMenu() {
  menu_ = OpenMenu{keyMenuItems(fullScreen_)};
  dirty_ = true;
}

std::optional<MenuAction> SdlViewerWindow::Impl::menuKey(SDL_Keycode key) {
  const std::size_t count = menu_->items.size();
  dirty_ = true;
  switch (key) {
    case SDLK_UP: menu_->selected = (menu_->selected + count - 1) % count; break;
    case SDLK_DOWN:
    case SDLK_TAB: menu_->selected = (menu_->selected + 1) % count; break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: {
      const MenuAction chosen = menu_->items[menu_->selected].action;
      menu_.reset();
      return chosen;
    }
    case SDLK_ESCAPE: menu_.reset(); break;
    default:
      if (key == options_.menuKey) menu_.reset();
      break;
  }
  return std::nullopt;
}

std::optional<MenuAction> SdlViewerWindow::Impl::menuClick(Point at) {
  const auto item = layOutKeyMenu(outputSize(), menu_->items).itemAt(at);
  const std::optional<MenuAction> chosen =
      item ? std::optional(menu_->items[*item].action) : std::nullopt;  // a click beside the menu closes it
  menu_.reset();
  dirty_ = true;
  return chosen;
}

void SdlViewerWindow::Impl::sayLatin1Only() {
  if (saidLatin1Only_) return;
  saidLatin1Only_ = true;
  std::fprintf(stderr, "vantrel view: the console takes Latin-1 text only: characters beyond it are pasted as '?' "
                       "and not typed at all\n");
}

// The window as large as the remote screen where the desktop has room, else scaled to fit.
void SdlViewerWindow::Impl::fitToRemote(ExtentI remote) {
  if (fullScreen_) return;
  SDL_Rect usable{};
  const int display = SDL_GetWindowDisplayIndex(window_);
  if (display < 0 || SDL_GetDisplayUsableBounds(display, &usable) != 0) usable = {0, 0, 0, 0};
  const ExtentI size = initialWindowSize(remote, {usable.w, usable.h}, options_.oneToOne);
  SDL_SetWindowSize(window_, size.width, size.height);
  const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_MASK | static_cast<unsigned>(std::max(display, 0)));
  SDL_SetWindowPosition(window_, centred, centred);
  dirty_ = true;
}

void SdlViewerWindow::Impl::upload(ShownSurface& surface) {
  surface.takeChanges([this](const ShownSurface::Changes& changes) {
    const ExtentI size{static_cast<int>(changes.width), static_cast<int>(changes.height)};
    const int pitch = size.width * 4;
    dirty_ = true;
    if (changes.resized) {
      if (texture_ == nullptr || size != textureSize_) {
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        texture_ = size.width > 0 ? SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                                      size.width, size.height)
                                  : nullptr;
        textureSize_ = texture_ != nullptr ? size : ExtentI{};
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

ExtentI SdlViewerWindow::Impl::outputSize() const {
  ExtentI size;
  SDL_GetRendererOutputSize(renderer_, &size.width, &size.height);
  return size;
}

// Window coordinates (what mouse events carry) to the renderer's pixels, which differ on a
// scaled desktop.
Point SdlViewerWindow::Impl::outputPoint(int x, int y) const {
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  const ExtentI output = outputSize();
  if (w <= 0 || h <= 0) return {x, y};
  return {static_cast<int>(std::int64_t{x} * output.width / w), static_cast<int>(std::int64_t{y} * output.height / h)};
}

void SdlViewerWindow::Impl::render() {
  const ExtentI output = outputSize();
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
  if (menu_) drawKeyMenu(renderer_, layOutKeyMenu(output, menu_->items), menu_->items, menu_->selected);
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
  Uint32 ownButtons = 0;            // likewise the mouse buttons pressed on the key menu
  auto nextClipboardLook = Clock::now();

  const auto sendPointer = [&](int x, int y) {
    const Point at = remotePoint(layout_, outputPoint(x, y));
    const PointerState now{at, buttons};
    if (now == pointer || textureSize_.width == 0) return;
    ConsoleMessage event = pointerEventMessage(static_cast<std::uint16_t>(at.x), static_cast<std::uint16_t>(at.y), buttons);
    link.sendMessage(event);
    pointer = now;
  };
  // What a chosen item does; false for Disconnect.
  const auto act = [&](MenuAction action) {
    if (const auto sequence = sequenceOf(action)) {
      sendSpecialSequence(static_cast<std::uint32_t>(*sequence), &ports, ports);
    } else if (action == MenuAction::LeaveFullScreen) {
      setFullScreen(false);
      ports.fullScreen = false;
    } else {
      return false;
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
          if (menu_ || k.sym == options_.fullScreenKey || k.sym == options_.menuKey) {
            // The window's own keys, and every key while the menu is open, stay here.
            ownKeys.insert(k.scancode);
            if (e.key.repeat != 0) break;
            if (menu_) {
              if (const auto chosen = menuKey(k.sym); chosen && !act(*chosen)) {
                end = SessionEnd::Closed;
                running = false;
              }
            } else if (k.sym == options_.fullScreenKey) {
              setFullScreen(!fullScreen_);
              ports.fullScreen = fullScreen_;
            } else {
              ports.send(keys.releaseAll());
              openMenu();
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
          if (menu_) break;
          ports.send(keys.text(e.text.text));
          if (keys.takeUnsentText()) sayLatin1Only();
          break;
        case SDL_MOUSEMOTION:
          if (menu_) {
            if (const auto item = layOutKeyMenu(outputSize(), menu_->items).itemAt(outputPoint(e.motion.x, e.motion.y));
                item && *item != menu_->selected) {
              menu_->selected = *item;
              dirty_ = true;
            }
            break;
          }
          sendPointer(e.motion.x, e.motion.y);
          break;
        case SDL_MOUSEBUTTONDOWN:
          if (menu_) {
            if (e.button.button != SDL_BUTTON_LEFT) break;
            if (const auto chosen = menuClick(outputPoint(e.button.x, e.button.y)); chosen && !act(*chosen)) {
              end = SessionEnd::Closed;
              running = false;
            }
            ownButtons |= 1u << e.button.button;
            break;
          }
          [[fallthrough]];
        case SDL_MOUSEBUTTONUP: {
          // A button pressed for the menu is let go here too.
          if (const Uint32 own = 1u << e.button.button; e.type == SDL_MOUSEBUTTONUP && (ownButtons & own) != 0) {
            ownButtons &= ~own;
            break;
          }
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
            if (!fitsLatin1(local)) sayLatin1Only();
            connection->sendClipboardText(*text);
          }
          SDL_free(local);
        }
      }
    }
    upload(surface);
    if (dirty_) render();
    if (running && connection->receiveThreadEnded()) {
      if (connection->sessionAbort.load() != 0) {
        end = SessionEnd::ScreenRefused;
      } else {
        end = connection->closedByServer.load() != 0 || ports.endRequested ? SessionEnd::ServerEnded
                                                                            : SessionEnd::LinkLost;
      }
      running = false;
    }
  }
  menu_.reset();
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
