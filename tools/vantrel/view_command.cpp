// vantrel view HOST[:PORT] --user NAME ...
// The interactive viewer: a window on the local desktop (SDL2) showing the console's screen and
// sending it keys, pointer and clipboard, until the window is closed or the console ends the
// session. A dropped link is tried again, with growing pauses, for --reconnect seconds.
#include <SDL2/SDL_keyboard.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "clipboard/clipboard_text.h"
#include "commands.h"
#include "protocol/console_link.h"
#include "viewer/sdl/reconnect_backoff.h"
#include "viewer/sdl/viewer_window_sdl.h"
#include "viewer/viewer_login.h"
#include "viewer/viewer_tls.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCommand = "view";

std::optional<SDL_Keycode> keyNamed(const std::string& name, std::string& error) {
  const SDL_Keycode key = SDL_GetKeyFromName(name.c_str());
  if (key == SDLK_UNKNOWN) {
    error = "'" + name + "' is not a key name (F8, F11, Pause, Scroll Lock...)";
    return std::nullopt;
  }
  return key;
}

}  // namespace

int runView(const ViewSettings& s) {
  std::string error;
  const auto target = viewerTarget(s.target, s.catalog, error);
  if (!target) return fail(kCommand, error);
  const auto menuKey = keyNamed(s.menuKey, error);
  const auto fullScreenKey = keyNamed(s.fullScreenKey, error);
  if (!menuKey || !fullScreenKey) return fail(kCommand, error);
  if (*menuKey == *fullScreenKey) return fail(kCommand, "the menu key and the full-screen key must differ");
  std::unique_ptr<ViewerTls> tls;
  if (s.tls.wanted() && !(tls = ViewerTls::create(kCommand, s.tls, target->port, error))) return fail(kCommand, error);
  const auto password = readPassword(s.password, "Password: ", error);
  if (!password) return fail(kCommand, error);

  const std::string address = target->host + ":" + std::to_string(target->port);
  ViewerWindowOptions options;
  options.title = address;
  options.oneToOne = s.scale == "1";
  options.fullScreen = s.fullScreen;
  options.menuKey = *menuKey;
  options.fullScreenKey = *fullScreenKey;
  options.clipboardLimit = kMaxClipboardSend;
  // The display first: a viewer that cannot show anything should not log in.
  auto window = SdlViewerWindow::open(options, error);
  if (!window) {
    std::fprintf(stderr, "vantrel view: %s\n", error.c_str());
    return kExitDisplay;
  }

  ViewerMessages messages(s.catalog);
  const auto logIn = [&](std::unique_ptr<ConsoleLink>& link) {
    const auto limit = std::chrono::seconds(s.timeout);
    ConsoleLinkOptions linkOptions;
    linkOptions.tcpPort = target->port;
    linkOptions.connectLimit = limit;
    linkOptions.loginLimit = limit;
    if (tls) tls->attach(linkOptions);
    link = std::make_unique<ConsoleLink>(messages.messages(), linkOptions);
    auto deadline = Clock::now() + limit;
    return logInAsViewer(kCommand, *link, *target, s.user, *password, messages, deadline, tls.get());
  };
  std::unique_ptr<ConsoleLink> link;
  if (const int refused = logIn(link)) return refused;

  for (;;) {
    const SessionEnd end = window->runSession(*link, messages.messages());
    if (end == SessionEnd::Closed) return kExitOk;
    if (end == SessionEnd::ServerEnded) {
      std::fprintf(stderr, "vantrel view: the console ended the session\n");
      return kExitSessionEnded;
    }
    std::fprintf(stderr, "vantrel view: the connection to %s was lost\n", address.c_str());
    ReconnectBackoff backoff(std::chrono::seconds(s.reconnect), Clock::now());
    int login = kExitNoConnection;
    for (auto at = backoff.nextAttempt(Clock::now()); at && login != kExitOk; at = backoff.nextAttempt(Clock::now())) {
      if (!window->waitReconnecting(*at)) return kExitOk;
      login = logIn(link);
      if (login == kExitRefused || login == kExitUntrusted) return login;
    }
    if (login != kExitOk) {
      std::fprintf(stderr, "vantrel view: %s could not be reached again\n", address.c_str());
      return kExitSessionEnded;
    }
    std::fprintf(stderr, "vantrel view: reconnected to %s\n", address.c_str());
  }
}

}  // namespace vantrel::cli
