// vantrel console: a console server for Linux. It logs viewers in against an account file or
// PAM, serves them a screen (a built-in animated desktop, PNG images or a real X desktop) and
// logs what they send; an X desktop also takes their keys, pointer and clipboard.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <thread>
#include <variant>

#include "commands.h"
#include "console_session.h"
#include "frame_source.h"
#include "pam_accounts.h"
#include "png_image.h"
#include "x11/x11_desktop.h"
#include "server/account_file.h"
#include "server/concurrent_logins.h"
#include "server/console_server.h"

namespace vantrel::cli {
namespace {

using std::chrono::milliseconds;

constexpr const char* kCommand = "console";
constexpr int kExitUsage = 1;
constexpr int kExitCannotListen = 3;
constexpr int kExitAccounts = 4;
constexpr int kExitDisplay = 5;

struct Settings {
  bool loopbackOnly = false;
  std::string listenText = "0.0.0.0";
  std::uint16_t port = ConsoleServer::kDefaultTcpPort;
  std::uint16_t probePort = ConsoleServer::kDefaultUdpPort;
  std::string accounts;
  std::optional<std::string> allowFile;
  bool allowLocal = false;
  bool refuseAll = false;
  bool probe = false;
  int width = 1024;
  int height = 768;
  bool sizeGiven = false;
  std::vector<std::string> pictures;  // empty: the demo desktop (or the X desktop)
  std::optional<std::string> x11Display;  // "" for $DISPLAY
  bool viewOnly = false;
  bool cursor = true;
  std::optional<std::string> pamService;
  std::string adminGroup = "sudo";
  milliseconds interval{3000};
  std::optional<std::string> inputLog;
  std::optional<std::string> clipboardText;
  std::chrono::seconds idleLimit{60};
};

std::optional<unsigned> parseNumber(const std::string& text, unsigned most) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > most) return std::nullopt;
  return value;
}

// The settings, or an error text.
std::variant<Settings, std::string> parse(Args args) {
  Settings s;
  bool haveAccounts = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--allow-local") {
      s.allowLocal = true;
    } else if (a == "--refuse-all") {
      s.refuseAll = true;
    } else if (a == "--probe") {
      s.probe = true;
    } else if (a == "--view-only") {
      s.viewOnly = true;
    } else if (a == "--no-cursor") {
      s.cursor = false;
    } else if (a == "--source") {
      const std::string* v = value();
      if (v == nullptr) return "--source needs 'demo', 'x11[:DISPLAY]' or PNG files";
      s.pictures.clear();
      s.x11Display.reset();
      if (*v == "x11" || v->rfind("x11:", 0) == 0) {
        s.x11Display = v->size() > 4 ? v->substr(4) : "";
      } else if (*v != "demo") {
        s.pictures.push_back(*v);
        while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) s.pictures.push_back(args[++i]);
      }
    } else {
      const std::string* v = value();
      if (v == nullptr) return a + " needs a value";
      if (a == "--listen") {
        if (*v == "127.0.0.1" || *v == "localhost") {
          s.loopbackOnly = true;
          s.listenText = "127.0.0.1";
        } else if (*v == "0.0.0.0") {
          s.loopbackOnly = false;
          s.listenText = *v;
        } else {
          return "--listen takes 127.0.0.1 (this machine only) or 0.0.0.0 (every address)";
        }
      } else if (a == "--port" || a == "--probe-port") {
        const auto port = parseNumber(*v, 0xFFFF);
        if (!port || (a == "--probe-port" && *port == 0)) return "'" + *v + "' is not a port number for " + a;
        (a == "--port" ? s.port : s.probePort) = static_cast<std::uint16_t>(*port);
      } else if (a == "--accounts") {
        s.accounts = *v;
        haveAccounts = true;
      } else if (a == "--allow-file") {
        s.allowFile = *v;
      } else if (a == "--pam") {
        s.pamService = *v;
      } else if (a == "--admin-group") {
        s.adminGroup = *v;
      } else if (a == "--size") {
        s.sizeGiven = true;
        if (*v == "1024x768") {
          s.width = 1024, s.height = 768;
        } else if (*v == "800x600") {
          s.width = 800, s.height = 600;
        } else if (*v == "640x480") {
          s.width = 640, s.height = 480;
        } else {
          return "--size takes 1024x768, 800x600 or 640x480";
        }
      } else if (a == "--interval") {
        const auto ms = parseNumber(*v, 3600000);
        if (!ms || *ms == 0) return "--interval takes milliseconds, 1 to 3600000";
        s.interval = milliseconds(*ms);
      } else if (a == "--idle-limit") {
        const auto seconds = parseNumber(*v, 86400);
        if (!seconds || *seconds == 0) return "--idle-limit takes seconds, 1 to 86400";
        s.idleLimit = std::chrono::seconds(*seconds);
      } else if (a == "--input-log") {
        s.inputLog = *v;
      } else if (a == "--clipboard-text") {
        s.clipboardText = *v;
      } else {
        return "unknown option '" + a + "'";
      }
    }
  }
  if (haveAccounts == s.pamService.has_value()) return "one of --accounts FILE and --pam SERVICE is required";
  if ((s.viewOnly || !s.cursor) && !s.x11Display) return "--view-only and --no-cursor go with --source x11";
  return s;
}

const char* refusalText(std::uint32_t word) {
  switch (word) {
    case 0: return "too many logins are under way (from its address)";
    case ConsoleServer::loginRejected: return "wrong user name or password";
    case ConsoleServer::clientLocked: return "the client is locked after three failed logins";
    case ConsoleServer::addressRefused: return "the address is not in the allow list";
    case ConsoleServer::serverRefused: return "every connection is refused";
    case ConsoleServer::otherUser: return "another viewer is logged in";
    case ConsoleServer::localRefused: return "the viewer is on this machine (see --allow-local)";
    case ConsoleServer::thirdFailure: return "third failed login, the client is locked for 15 minutes";
    default: return "the login did not finish";
  }
}

// Network text for the terminal: control characters could move the cursor or worse.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

void say(const std::string& text) {
  std::printf("vantrel console: %s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace

int runConsole(Args args) {
  auto parsed = parse(args);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr,
                 "vantrel console: %s\nusage: vantrel console --accounts FILE|--pam SERVICE [--admin-group GROUP] "
                 "[--listen ADDR] [--port N] [--allow-file FILE] [--allow-local] [--refuse-all] [--probe] "
                 "[--probe-port N] [--size WxH] [--source demo|x11[:DISPLAY]|PNG...] [--view-only] [--no-cursor] "
                 "[--interval MS] [--idle-limit SECONDS] [--input-log FILE] [--clipboard-text TEXT]\n",
                 error->c_str());
    return kExitUsage;
  }
  Settings& s = std::get<Settings>(parsed);

  std::unique_ptr<AccountChecks> accountChecks;
  if (s.pamService) {
    accountChecks = std::make_unique<PamAccounts>(*s.pamService, s.adminGroup);
  } else {
    auto file = std::make_unique<AccountFile>(s.accounts);
    const auto records = file->load();
    if (!records) {
      std::fprintf(stderr, "vantrel console: cannot read the account file '%s': %s\n", s.accounts.c_str(),
                   std::strerror(errno));
      return kExitAccounts;
    }
    const bool anyAdmin = std::any_of(records->begin(), records->end(),
                                      [](const AccountRecord& r) { return r.role == "admin" && !r.disabled; });
    if (!anyAdmin) std::fprintf(stderr, "vantrel console: warning: no enabled admin account in '%s'\n", s.accounts.c_str());
    accountChecks = std::move(file);
  }
  AccountChecks& accounts = *accountChecks;

  std::string allowList;
  if (s.allowFile) {
    std::ifstream in(*s.allowFile, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) return fail(kCommand, "cannot read the allow list '" + *s.allowFile + "'");
    allowList = text.str();
    if (allowList.size() >= ConsoleServer::kFilterCapacity) {
      return fail(kCommand, "the allow list '" + *s.allowFile + "' is longer than " +
                                std::to_string(ConsoleServer::kFilterCapacity - 1) + " characters");
    }
  }

  // Every thread started from here on (the X clipboard's too) leaves SIGINT and SIGTERM to the
  // one that waits for them.
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

  std::unique_ptr<FrameSource> source;
  std::unique_ptr<X11Desktop> desktop;
  if (s.x11Display) {
    std::string error;
    std::optional<ScreenSize> size;
    if (s.sizeGiven) size = ScreenSize{s.width, s.height};
    desktop = X11Desktop::open({*s.x11Display, size, s.viewOnly, s.cursor}, error);
    if (!desktop) {
      std::fprintf(stderr, "vantrel console: %s\n", error.c_str());
      return kExitDisplay;
    }
    const ScreenSize served = desktop->source().geometry().screen();
    s.width = served.width;
    s.height = served.height;
  } else if (s.pictures.empty()) {
    source = makeDemoSource(s.width, s.height);
  } else {
    std::vector<RgbImage> images;
    for (const auto& path : s.pictures) {
      std::string error;
      auto image = loadPng(path, error);
      if (!image) return fail(kCommand, "cannot load " + error);
      images.push_back(std::move(*image));
    }
    source = makeStillSource(std::move(images), s.width, s.height, s.interval);
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> logFile(nullptr, std::fclose);
  std::unique_ptr<InputLog> inputLog;
  if (s.inputLog) {
    logFile.reset(std::fopen(s.inputLog->c_str(), "w"));
    if (!logFile) return fail(kCommand, "cannot write the input log '" + *s.inputLog + "': " + std::strerror(errno));
    inputLog = std::make_unique<InputLog>(logFile.get());
  }

  ConsoleServer server(accounts);
  server.setPorts(s.port, s.probePort);
  server.setLoopbackOnly(s.loopbackOnly);
  server.setAllowLocal(s.allowLocal);
  server.setRefuseAll(s.refuseAll ? 1 : 0);
  // A viewer that reads nothing for the idle limit ends its session even in the middle of a send.
  server.setSendLimit(static_cast<std::uint32_t>(std::chrono::milliseconds(s.idleLimit).count()));
  if (s.allowFile) server.setAddressFilter(1, allowList);
  if (!server.startListening()) {
    std::fprintf(stderr, "vantrel console: cannot listen on %s port %u: it is in use or not allowed\n",
                 s.listenText.c_str(), s.port);
    return kExitCannotListen;
  }

  std::unique_ptr<ConsoleServer> prober;
  std::future<bool> probeResult;
  if (s.probe) {
    prober = std::make_unique<ConsoleServer>(accounts);
    prober->setPorts(0, s.probePort);
    prober->setLoopbackOnly(s.loopbackOnly);
    probeResult = std::async(std::launch::async, [p = prober.get()] { return p->runProbeResponder(); });
    // A responder that could bind is still serving; one that could not has already given up.
    if (probeResult.wait_for(milliseconds(200)) == std::future_status::ready && !probeResult.get()) {
      std::fprintf(stderr, "vantrel console: cannot answer probes on UDP port %u: it is in use or not allowed\n",
                   s.probePort);
      return kExitCannotListen;
    }
  }
  say("listening on " + s.listenText + ":" + std::to_string(server.listeningPort().value_or(0)) +
      (s.probe ? ", answering probes on UDP port " + std::to_string(s.probePort) : ""));
  if (desktop) say("serving the " + desktop->source().describe() + (s.viewOnly ? ", view only" : ""));

  std::mutex sessionLock;
  bool stop = false;
  ConsoleSession* current = nullptr;
  std::atomic<bool> inSession{false};
  ConcurrentLogins logins(server);

  std::thread signalWaiter([&] {
    int signal = 0;
    sigwait(&endSignals, &signal);
    {
      std::lock_guard guard(sessionLock);
      stop = true;
      if (current != nullptr) current->stop();
    }
    // Give the session a moment to tell its viewer goodbye, then wake every blocked thread.
    for (int i = 0; i < 100 && inSession; ++i) std::this_thread::sleep_for(milliseconds(10));
    logins.stop();
    server.interrupt();
    if (prober) prober->interrupt();
  });

  std::thread sessionThread;
  while (const auto outcome = logins.next()) {
    if (!outcome->login.loggedIn) {
      say("refused a viewer from " + outcome->address + ": " + refusalText(outcome->login.status));
      continue;
    }
    // The login took the session, so the last one has ended; its thread is finishing.
    if (sessionThread.joinable()) sessionThread.join();
    inSession = true;
    const std::string user = server.clientUser(), address = server.clientAddress();
    say("viewer '" + printable(user) + "' logged in from " + address);
    if (inputLog) {
      inputLog->write(R"({"event":"login","user":)" + InputLog::quote(user) + R"(,"address":)" +
                      InputLog::quote(address) + "}");
    }
    sessionThread = std::thread([&] {
      FrameSource& pictures = desktop ? static_cast<FrameSource&>(desktop->source()) : *source;
      ConsoleSession session(server, pictures, inputLog.get(),
                             {s.width, s.height, s.clipboardText, desktop.get(), s.idleLimit});
      {
        std::lock_guard guard(sessionLock);
        current = &session;
        if (stop) session.stop();
      }
      const std::string why = session.run();
      {
        std::lock_guard guard(sessionLock);
        current = nullptr;
      }
      if (inputLog) inputLog->write(R"({"event":"end"})");
      say("the session has ended: " + why);
      inSession = false;
      server.setUserActive(0);  // the next login may take the session
    });
  }
  if (sessionThread.joinable()) sessionThread.join();
  signalWaiter.join();
  if (probeResult.valid()) probeResult.wait();
  say("stopped");
  return 0;
}

}  // namespace vantrel::cli
