// The nine exports of consoleclient.dll and the process-wide session they share. There is one
// session per process; everything here runs on the host's user-interface thread.

#include <winsock2.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "api/consoleclient.h"
#include "api/session_params.h"
#include "catalog/message_catalog.h"
#include "catalog/user_messages.h"
#include "diag/trace_log.h"
#include "input/special_keys.h"
#include "net/schannel_stream.h"
#include "net/tls_settings.h"
#include "protocol/console_link.h"
#include "protocol/login_status.h"
#include "resources/resource_ids.h"
#include "viewer/client_connection.h"
#include "viewer/view_options.h"
#include "viewer/viewer_window.h"

namespace vantrel {
namespace {

constexpr std::size_t kCaptionSize = 52;
// How long ClientExit lets the receive thread finish its pass before it gives up on it.
constexpr ULONGLONG kReceiveStopLimitMs = 3000;

// MessageBoxA, remembering which threads have a box up so that ClientExit can close a box
// the receive thread is waiting in (the server's end-of-session box, for one).
class TrackedMessageBoxes final : public MessageBoxPort {
 public:
  void show(WindowRef owner, const std::string& text, const std::string& caption, unsigned style) override {
    const DWORD thread = GetCurrentThreadId();
    {
      const std::lock_guard lock(mutex_);
      threads_.insert(thread);
    }
    MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
    const std::lock_guard lock(mutex_);
    threads_.erase(threads_.find(thread));
  }

  // Presses OK on every box up on a thread other than the caller's.
  void closeOthers() {
    const DWORD self = GetCurrentThreadId();
    const std::lock_guard lock(mutex_);
    for (const DWORD thread : threads_) {
      if (thread != self) EnumThreadWindows(thread, pressOk, 0);
    }
  }

 private:
  static BOOL CALLBACK pressOk(HWND window, LPARAM) {
    char name[16] = {};
    if (GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770") {
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
  }

  std::mutex mutex_;
  std::multiset<DWORD> threads_;
};

using TextCopy = std::array<char, 257>;

struct Session {
  std::array<char, 1024> iniDirectory{};
  std::array<char, 128> titleAddress{};
  std::unique_ptr<TextCopy> serverAddress, userName, password;
  WindowRef parentWindow = nullptr;
  WindowRef ownerWindow = nullptr;
  ViewingArea area;
  std::uint32_t language = 0;
  std::uint32_t reservedB = 0;
  std::unique_ptr<SessionParams> params;
  std::unique_ptr<MessageCatalog> catalog;

  TrackedMessageBoxes boxes;
  UserMessages messages;  // boxes, caption, catalogue, language, owner and msgBoxShowing

  std::atomic<std::int32_t> sessionState{0};
  std::atomic<std::int32_t> runPending{0};
  std::atomic<std::int32_t> inputEnabled{0};
  std::atomic<std::int32_t> viewMode{2};
  // Whether a login attempt has started the socket library since the last ClientExit: the
  // clean-up is ours to do only then, or it would take the host's own socket use away.
  bool socketsStarted = false;

  // Released in this order: the session, then its window, then the link both use.
  std::unique_ptr<ConsoleLink> link;
  std::unique_ptr<ViewerWindow> window;
  std::unique_ptr<ClientConnection> connection;
};

// Never destroyed: a host that unloads the DLL or exits without ClientExit must not have a
// receive thread joined under the loader lock.
Session& session() {
  static Session* s = new Session;
  return *s;
}

HINSTANCE thisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&thisModule), &module);
  return module;
}

std::unique_ptr<TextCopy> copyOf(const char* text, std::size_t limit) {
  auto copy = std::make_unique<TextCopy>();
  copyCut(*copy, text, limit);
  return copy;
}

// Why a secure connection failed goes to the trace file; the user sees the usual box.
void traceTlsFailure(const TlsSettings& tls, const std::string& host, const std::string& reason) {
  TraceLog(tls.traceFile).write("TLS to " + host, reason);
}

// How the link is carried, from [NET] of consoleclient.ini: clear, or TLS pinned to the console's key.
ConsoleLinkOptions linkOptions(const TlsSettings& tls) {
  ConsoleLinkOptions options;
  if (tls.mode != TlsSettings::Mode::Pinned) return options;
  options.secureChannel = [tls](NetSocket& socket, const std::string& host,
                                std::chrono::steady_clock::time_point deadline) -> std::unique_ptr<ByteStream> {
    SecureChannel channel = openSchannelStream(socket, host, deadline, tls.pin);
    if (!channel.stream) traceTlsFailure(tls, host, channel.failure);
    return std::move(channel.stream);
  };
  return options;
}

// The receive thread may be waiting for this thread (a window update, a window move) or in a
// message box; it is asked to stop, its blocked receive is ended by shutting the link down,
// and this thread serves its sent messages and presses OK on its boxes until it has ended.
void stopReceiveThread(Session& s) {
  ClientConnection& connection = *s.connection;
  connection.requestStop();
  if (s.link) s.link->shutdown();
  const ULONGLONG start = GetTickCount64();
  while (!connection.receiveThreadEnded() && GetTickCount64() - start < kReceiveStopLimitMs) {
    s.boxes.closeOthers();
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_SENDMESSAGE, 0);
  }
  if (connection.receiveThreadEnded()) return;
  // Last resort: a thread that neither ends nor answers would hang the host.
  if (HANDLE thread = static_cast<HANDLE>(s.window ? s.window->receiveThread() : nullptr)) {
    TerminateThread(thread, 0);
    WaitForSingleObject(thread, 1000);
  }
}

bool initial(const SessionArguments& a) {
  Session& s = session();
  s.sessionState = 0;
  copyCut(s.iniDirectory, a.iniDirectory, kIniDirectoryMax);
  s.titleAddress.fill('\0');
  s.language = a.language;
  s.parentWindow = a.parentWindow;
  s.ownerWindow = a.ownerWindow;
  s.area = {a.areaLeft, a.areaTop, a.areaWidth, a.areaHeight};
  s.reservedB = a.reservedB;
  s.messages.msgBoxShowing = 0;

  s.messages.catalog = nullptr;
  s.catalog = std::make_unique<MessageCatalog>(s.iniDirectory.data());
  s.messages.catalog = s.catalog.get();
  s.messages.boxes = &s.boxes;
  s.messages.language = a.language;
  s.messages.ownerWindow = a.ownerWindow;

  s.params = std::make_unique<SessionParams>();
  fillSessionParams(*s.params, a);

  s.password = copyOf(a.password, kCredentialMax);
  s.serverAddress = copyOf(a.serverAddress, kCredentialMax);
  s.userName = copyOf(a.userName, kCredentialMax);
  copyCut(s.titleAddress, a.serverAddress, kTitleAddressMax);

  s.sessionState = 1;
  s.runPending = 1;
  return true;
}

int run() {
  Session& s = session();
  if (s.runPending == 0) {
    // A resume only lets input through again: a session paused in full screen stays there, all
    // of its view together (the view switch alone changes viewMode).
    if (s.connection) s.connection->closedByServer = 0;
    s.inputEnabled = 1;
    return 1;
  }
  s.viewMode = 2;
  if (!s.serverAddress || !s.catalog) return 0;  // ClientInitial has not run

  const HINSTANCE module = thisModule();
  char caption[kCaptionSize] = {};
  LoadStringA(module, VANTREL_IDS_CAPTION, caption, sizeof caption);
  s.messages.caption = caption;

  // A link left by a failed attempt goes now, not at the end of the process.
  s.connection.reset();
  s.window.reset();
  s.link.reset();
  const WindowRef owner = s.ownerWindow != nullptr ? s.ownerWindow : s.parentWindow;
  const TlsSettings tls = readTlsSettings(s.catalog->path());
  if (tls.mode == TlsSettings::Mode::Refused) {  // no connection at all rather than a clear one
    traceTlsFailure(tls, s.serverAddress->data(), tls.refusal);
    s.messages.showCatalogBox(owner, "ConnectServerFailed");
    return 0;
  }
  s.link = std::make_unique<ConsoleLink>(s.messages, linkOptions(tls));
  s.socketsStarted = true;
  const int result = s.link->connectAndLogin(s.serverAddress->data(), kLoginRequest, s.userName->data(),
                                             s.password->data());
  if (result == 0) {
    s.messages.showCatalogBox(owner, "ConnectServerFailed");
    return 0;
  }
  if (result == 111) {
    s.messages.showCatalogBox(owner, "ThreeTimeFailed");
    return 0;
  }
  if (result != 1) return 0;

  ViewerSettings settings;
  settings.instance = module;
  settings.parentWindow = s.parentWindow;
  settings.area = s.area;
  settings.inputEnabled = &s.inputEnabled;
  settings.viewMode = &s.viewMode;
  settings.sessionState = &s.sessionState;
  settings.messages = &s.messages;
  settings.titleAddress = s.titleAddress.data();
  settings.view = viewOptions(*s.catalog);
  s.window = ViewerWindow::create(settings, *s.link);
  s.connection = ClientConnection::create(SessionPorts{s.window->surface(), *s.window, *s.window, s.messages});
  if (!s.connection) {  // "CreateMemFailed" has been shown
    s.window.reset();
    s.link.reset();
    return 0;
  }
  s.connection->areaTop = s.area.top;
  s.connection->areaLeft = s.area.left;
  s.connection->parentWindow = s.parentWindow;
  s.connection->areaWidth = s.area.width;
  s.connection->areaHeight = s.area.height;
  s.connection->instance = module;
  s.connection->link = s.link.get();
  s.connection->start();

  s.runPending = 0;
  s.inputEnabled = 1;
  return 1;
}

int isRunning() {
  Session& s = session();
  if (s.sessionState == 0) return 0;
  if (!s.connection || !s.link || !s.link->isAlive()) {
    s.sessionState = 0;
    return 0;
  }
  return s.sessionState;
}

bool sendKeys(unsigned int code) {
  Session& s = session();
  if (!s.connection || !s.window) return false;
  return sendSpecialSequence(code, s.window.get(), *s.window);
}

void exitSession() {
  Session& s = session();
  // Keys still down on the server are let go while the link can carry it; the window's
  // destruction would say the same, but only after the link has been shut down.
  if (s.connection && s.window && s.link && s.link->isAlive()) {
    s.window->sendKeyEvent(ViewerWindow::kReleaseAllKeys, false);
  }
  if (s.connection) stopReceiveThread(s);
  if (s.window) {
    s.window->close();
    // Should the window outlive the close, nothing of it reaches the session from here on.
    s.window->detach();
  }
  // The session's stop finds the thread ended; its link is still there for it.
  s.connection.reset();
  s.window.reset();
  s.link.reset();
  if (std::exchange(s.socketsStarted, false)) WSACleanup();

  s.password.reset();
  s.serverAddress.reset();
  s.userName.reset();
  s.messages.catalog = nullptr;
  s.catalog.reset();

  MSG message;
  while (PeekMessageA(&message, static_cast<HWND>(s.parentWindow), WM_DESTROY, WM_DESTROY, PM_REMOVE)) {
  }
}

}  // namespace
}  // namespace vantrel

using namespace vantrel;

// Nothing may escape into the host: a failure inside is the documented failure result.
extern "C" {

int __cdecl ClientIsRunning(void) {
  try {
    return isRunning();
  } catch (...) {
    return 0;
  }
}

bool __cdecl ClientInitial(const char* iniDirectory, HWND parentWindow, HWND ownerWindow, int areaLeft, int areaTop,
                           int areaWidth, int areaHeight, const char* serverAddress, unsigned int reservedA,
                           const char* userName, const char* password, unsigned int reservedB, unsigned int language) {
  try {
    return initial({iniDirectory, parentWindow, ownerWindow, areaLeft, areaTop, areaWidth, areaHeight, serverAddress,
                    reservedA, userName, password, reservedB, language});
  } catch (...) {
    return false;
  }
}

int __cdecl ClientRun(void) {
  try {
    return run();
  } catch (...) {
    return 0;
  }
}

bool __cdecl ClientPause(void) {
  session().inputEnabled = 0;
  return true;
}

bool __cdecl ClientSendKeyEvent(unsigned int code) {
  try {
    return sendKeys(code);
  } catch (...) {
    return false;
  }
}

bool __cdecl ClientExit(void) {
  try {
    exitSession();
  } catch (...) {
  }
  return true;
}

void __cdecl ClientActive(void) {}

bool __cdecl ClientIsMsgShow(int* closedByServer) {
  Session& s = session();
  if (closedByServer != nullptr) *closedByServer = s.connection ? s.connection->closedByServer.load() : 0;
  return s.messages.msgBoxShowing.load() != 0;
}

void __cdecl ClientWndFull(int full) {
  try {
    Session& s = session();
    if (s.connection && s.window) s.window->switchView(full == 0);
  } catch (...) {
  }
}

}  // extern "C"
