// vantrel console: a console server for Linux. It logs viewers in against an account file or
// PAM, serves them a screen (a built-in animated desktop, PNG images or a real X desktop) and
// logs what they send; an X desktop also takes their keys, pointer and clipboard.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "address_text.h"
#include "catalog/whole_file.h"
#include "commands.h"
#include "console/allow_list.h"
#include "console/area_scaler.h"
#include "console/console_log.h"
#include "console/console_session.h"
#include "console/console_tls.h"
#include "console/desktop_geometry.h"
#include "console/frame_source.h"
#include "console/login_line.h"
#include "console/pam_accounts.h"
#include "console/x11/x11_desktop.h"
#include "console/x11/x_display.h"
#include "png_image.h"
#include "printable_text.h"
#include "server/account_file.h"
#include "server/address_filter.h"
#include "server/concurrent_logins.h"
#include "server/console_server.h"

namespace vantrel::cli {
namespace {

using std::chrono::milliseconds;

constexpr const char* kCommand = "console";


ScreenSize parseSize(const std::string& text) {
  const auto x = text.find('x');
  return {std::atoi(text.c_str()), std::atoi(text.c_str() + x + 1)};
}

// The X display of --source x11[:DISPLAY] ("" for $DISPLAY); nothing for other sources.
std::optional<std::string> x11Display(const std::vector<std::string>& source) {
  if (source.size() != 1 || (source[0] != "x11" && source[0].rfind("x11:", 0) != 0)) return std::nullopt;
  return source[0].substr(std::min<std::size_t>(source[0].size(), 4));
}

void say(const std::string& text) { logLine(stdout, Priority::Info, text); }
void warn(const std::string& text) { logLine(stderr, Priority::Warning, "warning: " + text); }
void note(const std::string& text) { logLine(stderr, Priority::Notice, "note: " + text); }

// The allow list as the responder will hold it; nothing, and the reason in `error`, when it
// cannot. An empty file is an empty list. Comments and blanks are left out, the text is ended
// with a line break, since the responder ignores what follows the last one, and every entry it
// would read otherwise than written is named with its line.
std::optional<std::string> readAllowList(const std::string& path, std::string& error) {
  const auto read = readWholeFile(path);
  if (!read) {
    error = "cannot read the allow list '" + path + "'";
    return std::nullopt;
  }
  std::string text = plainAllowList(*read);
  if (!text.empty() && text.back() != '\n' && text.back() != '\r' && text.back() != ';') text += '\n';
  if (text.size() >= ConsoleServer::kFilterCapacity) {
    error = "the allow list '" + path + "' is longer than " + std::to_string(ConsoleServer::kFilterCapacity - 1) +
            " characters";
    return std::nullopt;
  }
  for (const auto& entry : misreadAllowEntries(text)) {
    warn("allow list " + path + " line " + std::to_string(entry.line) + ": '" + printableText(entry.text) +
         "' is not an address (10.0.0.5), a range (10.0.0.1-10.0.0.9) or a pattern (10.1.*.*) and will not "
         "match as written");
  }
  return text;
}

// A picture larger than the screen, scaled down to fit with its shape kept and centred between
// black bars, as an X desktop of its size is placed.
RgbImage scaledOntoScreen(const RgbImage& picture, const DesktopGeometry& place) {
  const ScreenSize screen = place.screen();
  const std::size_t stride = static_cast<std::size_t>(screen.width) * 3;
  RgbImage out{screen.width, screen.height, std::vector<std::uint8_t>(stride * static_cast<std::size_t>(screen.height))};
  AreaScaler(place.desktop(), {place.width(), place.height()})
      .scale(picture.rgb.data(), static_cast<std::size_t>(picture.width) * 3,
             &out.rgb[static_cast<std::size_t>(place.top()) * stride + static_cast<std::size_t>(place.left()) * 3],
             stride, {0, 0, place.width(), place.height()});
  return out;
}

// The pictures to serve. With `letterbox` one larger than the screen is scaled to fit, and one
// smaller is shown whole at the top left; with `crop` either is cut or padded from its top-left
// corner.
std::optional<std::vector<RgbImage>> loadPictures(const ConsoleSettings& s, ScreenSize screen, std::string& error) {
  std::vector<RgbImage> images;
  for (const auto& path : s.source) {
    auto image = loadPng(path, error);
    if (!image) {
      error = "cannot load " + error;
      return std::nullopt;
    }
    const ScreenSize size{image->width, image->height};
    if (s.fit == "letterbox" && size != screen) {
      const auto place = DesktopGeometry::choose(size, screen);
      const std::string was = path + " is " + std::to_string(size.width) + "x" + std::to_string(size.height);
      const std::string on =
          " on the " + std::to_string(screen.width) + "x" + std::to_string(screen.height) + " screen";
      if (place.scaled()) {
        note(was + ", scaled to " + std::to_string(place.width()) + "x" + std::to_string(place.height()) + on +
             " (--fit crop shows it unscaled)");
        *image = scaledOntoScreen(*image, place);
      } else {
        note(was + ", shown whole at the top left" + on);
      }
    }
    images.push_back(std::move(*image));
  }
  return images;
}

// Where the viewers' input goes: standard output, or a file that keeps what it had. It holds
// every key the viewers type, passwords on the desktop included: a new file is its owner's
// alone, and an existing one that others may read or change is named in a warning (its mode is
// the administrator's to choose).
using LogFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
LogFile openInputLog(const std::string& path) {
  if (path == "-") return {stdout, [](std::FILE*) { return 0; }};
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return {nullptr, std::fclose};
  struct stat file {};
  if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && (file.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(file.st_mode & 07777));
    warn("the input log '" + path + "' holds every key the viewers type, and others than its owner may read or "
         "change it (mode " + mode + "): chmod 600 it");
  }
  LogFile log{fdopen(fd, "a"), std::fclose};
  if (!log) close(fd);
  return log;
}

// Why the listening socket could not be bound, from the error of the bind (or listen) that failed.
std::string whyNotListening(int error) {
  switch (error) {
    case EADDRINUSE: return "the port is in use";
    case EACCES:
    case EPERM: return "not allowed (a port below 1024 needs root or CAP_NET_BIND_SERVICE)";
    case EADDRNOTAVAIL: return "the address is not one of this machine's";
    default: return std::strerror(error);
  }
}

// What the command line asks for, checked before anything is opened.
struct ConsolePlan {
  ListenAddress listen;
  std::optional<std::string> display;  // an X desktop to serve
  bool demo = false;
  ScreenSize screen;
  bool tls = false;
  bool clearOnNetwork = false;  // credentials may come without TLS from another machine
};

// Where the viewers' credentials may cross a network in the clear, only an explicit option lets
// Unix passwords do so; an account file's are only warned about.
bool planTransport(const ConsoleSettings& s, ConsolePlan& plan, std::string& error) {
  plan.tls = s.tls || s.tlsCertificate || s.tlsKey;
  if (s.tlsKey && !s.tlsCertificate) {
    error = "--tls-key goes with --tls-cert";
  } else if (s.clearPort && !plan.tls) {
    error = "--clear-port goes with --tls: without it every port is clear";
  } else if (s.clearPort && *s.clearPort != 0 && *s.clearPort == s.port) {
    error = "--clear-port must differ from --port";
  }
  if (!error.empty()) return false;
  plan.clearOnNetwork = !plan.listen.loopback && (!plan.tls || s.clearPort);
  if (s.pam && plan.clearOnNetwork && !s.allowClearPasswords) {
    error = "with --pam on " + plan.listen.text +
            " without TLS, Unix passwords would cross the network in a form anyone on the path can read and "
            "replay. Add --tls (viewers then need --tls too) or listen on 127.0.0.1; to take the risk on a "
            "trusted network, add --allow-clear-passwords";
    return false;
  }
  return true;
}
std::optional<ConsolePlan> planConsole(const ConsoleSettings& s, std::string& error) {
  ConsolePlan plan;
  const auto listen = parseListen(s.listen);
  if (!listen) {
    error = "--listen takes an address of this machine, such as 127.0.0.1 or ::1 (this machine only), 0.0.0.0 "
            "(every IPv4 address) or :: (every address)";
    return std::nullopt;
  }
  if (s.probe && !listen->ipv4) {
    error = "--probe answers IPv4 probes: with an IPv6 --listen address it needs :: or ::1";
    return std::nullopt;
  }
  plan.listen = *listen;
  plan.display = x11Display(s.source);
  plan.demo = s.source.empty() || s.source == std::vector<std::string>{"demo"};
  const auto special = [](const std::string& a) { return a == "demo" || a == "x11" || a.rfind("x11:", 0) == 0; };
  if (!plan.demo && !plan.display && std::any_of(s.source.begin(), s.source.end(), special)) {
    error = "--source takes 'demo', 'x11[:DISPLAY]' or PNG files, not a mixture";
    return std::nullopt;
  }
  if (s.accounts.has_value() == s.pam.has_value()) {
    error = "one of --accounts FILE and --pam SERVICE is needed";
    return std::nullopt;
  }
  if ((s.viewOnly || s.noCursor) && !plan.display) {
    error = "--view-only and --no-cursor go with --source x11";
    return std::nullopt;
  }
  plan.screen = parseSize(s.size.value_or("1024x768"));
  if (!planTransport(s, plan, error)) return std::nullopt;
  return plan;
}

// Said once at start: what the clear port exposes, and what fixes it.
void warnOfClearPasswords(const ConsoleSettings& s, const ConsolePlan& plan, std::uint16_t clearPort) {
  if (!plan.clearOnNetwork) return;
  const std::string port = std::to_string(clearPort);
  if (s.pam) {
    warn("--allow-clear-passwords: viewers' Unix passwords reach port " + port +
         " without TLS, where anyone on the path can read and replay them");
  } else {
    warn("viewers' passwords reach port " + port +
         " without TLS, where anyone on the path can read and replay them; --tls protects them");
  }
}

// PAM, or the account file with a warning for each line no login can use and when it would let
// nobody in; nothing, with the reason printed, when the file cannot be read.
std::unique_ptr<AccountChecks> openAccounts(const ConsoleSettings& s) {
  if (s.pam) return std::make_unique<PamAccounts>(*s.pam, s.adminGroup);
  auto file = std::make_unique<AccountFile>(*s.accounts);
  const auto contents = file->read();
  if (!contents) {
    printError(kCommand, "cannot read the account file '" + *s.accounts + "': " + std::strerror(errno));
    return nullptr;
  }
  for (const AccountLineProblem& p : contents->problems) {
    warn("account file " + *s.accounts + " line " + std::to_string(p.line) + ": " + printableText(p.reason) +
         "; no login can use it");
  }
  const auto& records = contents->records;
  const bool anyAdmin = std::any_of(records.begin(), records.end(),
                                    [](const AccountRecord& r) { return r.role == "admin" && !r.disabled; });
  if (!anyAdmin) warn("no enabled admin account in '" + *s.accounts + "': every login will be refused");
  return file;
}

// Blocks SIGINT, SIGTERM and SIGHUP (a closed terminal or ssh session) in this thread and so in
// every thread started after it (the X clipboard's too), leaving them to the one that waits for
// them: each ends the console in order, the keys and buttons a viewer held released. A console
// started under nohup keeps ignoring SIGHUP: a blocked signal would be kept for the waiter.
sigset_t blockEndSignals() {
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  struct sigaction hangUp {};
  if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN) sigaddset(&endSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
  return endSignals;
}

// What the viewers see: a real X desktop, the demo desktop or still pictures.
struct ServedScreen {
  std::unique_ptr<FrameSource> pictures;
  std::unique_ptr<X11Desktop> desktop;
  ScreenSize size;
  FrameSource& frames() const { return desktop ? static_cast<FrameSource&>(desktop->source()) : *pictures; }
};
// The exit code when the screen cannot be served, its reason printed.
std::optional<int> openScreen(const ConsoleSettings& s, const ConsolePlan& plan, ServedScreen& out) {
  std::string error;
  out.size = plan.screen;
  if (plan.display) {
    std::optional<ScreenSize> size;
    if (s.size) size = plan.screen;
    out.desktop = X11Desktop::open({*plan.display, size, s.viewOnly, !s.noCursor}, error);
    if (!out.desktop) {
      // x11:57 names the display "57"; display :57 is x11::57.
      if (!plan.display->empty() && plan.display->find(':') == std::string::npos) {
        error += " (an X display is named with a colon: --source x11::" + *plan.display + " for display :" +
                 *plan.display + ")";
      }
      printError(kCommand, error);
      return kExitDisplay;
    }
    out.size = out.desktop->source().geometry().screen();
  } else if (plan.demo) {
    out.pictures = makeDemoSource(out.size.width, out.size.height);
  } else {
    auto pictures = loadPictures(s, out.size, error);
    if (!pictures) return fail(kCommand, error);
    out.pictures = makeStillSource(std::move(*pictures), out.size.width, out.size.height, milliseconds(s.interval));
  }
  return std::nullopt;
}

void configureServer(ConsoleServer& server, const ConsoleSettings& s, const ConsolePlan& plan,
                     const std::optional<std::string>& allowList, const ConsoleTls* tls) {
  if (tls) {
    server.setSecureChannel(tls->channel(say));
    server.setClearPort(s.clearPort);
  }
  server.setPorts(s.port, s.probePort);
  if (plan.listen.ipv6) {
    server.setListenIpv6(plan.listen.text);
  } else {
    server.setListenAddress(*plan.listen.ipv4);
  }
  server.setAllowLocal(s.allowLocal);
  server.setRefuseAll(s.refuseAll ? 1 : 0);
  // A viewer that reads nothing for the idle limit ends its session even in the middle of a send.
  server.setSendLimit(s.idleLimit * 1000);
  if (allowList) server.setAddressFilter(1, *allowList);
}

// The probe responder on a thread of its own. Nothing when it could not bind, its reason printed.
struct ProbeAnswerer {
  std::unique_ptr<ConsoleServer> server;
  std::future<bool> result;
};
std::optional<ProbeAnswerer> startProbes(AccountChecks& accounts, const ConsoleSettings& s, const ConsolePlan& plan) {
  ProbeAnswerer probes{std::make_unique<ConsoleServer>(accounts), {}};
  probes.server->setPorts(0, s.probePort);
  probes.server->setListenAddress(plan.listen.ipv4.value_or(0));
  probes.result = std::async(std::launch::async, [p = probes.server.get()] { return p->runProbeResponder(); });
  // A responder that could bind is still serving; one that could not has already given up.
  if (probes.result.wait_for(milliseconds(200)) == std::future_status::ready && !probes.result.get()) {
    printError(kCommand, "cannot answer probes on UDP port " + std::to_string(s.probePort) +
                             ": it is in use or not allowed");
    return std::nullopt;
  }
  return probes;
}

// Takes logins until a signal ends the console, and serves each logged-in viewer on a session
// thread while the next logins are turned away or wait.
class SessionLoop {
 public:
  SessionLoop(ConsoleServer& server, const ConsoleSettings& s, const ConsolePlan& plan, const ServedScreen& screen,
              InputLog* inputLog)
      : server_(server),
        settings_(s),
        riskedInClear_(s.pam && plan.clearOnNetwork),
        screen_(screen),
        inputLog_(inputLog),
        logins_(server) {}

  void run(sigset_t endSignals, ConsoleServer* prober) {
    std::thread signalWaiter([&] { waitForEnd(endSignals, prober); });
    std::thread sessionThread;
    while (const auto outcome = logins_.next()) {
      if (const auto line = loginLine(*outcome, settings_.pam ? settings_.adminGroup : "", riskedInClear_)) say(*line);
      if (!outcome->login.loggedIn) continue;
      // The login took the session, so the last one has ended; its thread is finishing.
      if (sessionThread.joinable()) sessionThread.join();
      inSession_ = true;
      if (inputLog_) {
        inputLog_->write(R"({"event":"login","user":)" + InputLog::quote(server_.clientUser()) + R"(,"address":)" +
                         InputLog::quote(outcome->address) + "}");
      }
      sessionThread = std::thread([this] { serveSession(); });
    }
    if (sessionThread.joinable()) sessionThread.join();
    signalWaiter.join();
  }

 private:
  void waitForEnd(sigset_t endSignals, ConsoleServer* prober) {
    int signal = 0;
    sigwait(&endSignals, &signal);
    {
      std::lock_guard guard(sessionLock_);
      stop_ = true;
      if (current_ != nullptr) current_->stop(stopReason());
    }
    // Give the session a moment to tell its viewer goodbye, then wake every blocked thread.
    for (int i = 0; i < 100 && inSession_; ++i) std::this_thread::sleep_for(milliseconds(10));
    logins_.stop();
    server_.interrupt();
    if (prober) prober->interrupt();
  }

  static std::string stopReason() {
    return displayLost() ? "the X display has gone away" : "the console is stopping";
  }

  void serveSession() {
    ConsoleSession session(server_, screen_.frames(), inputLog_,
                           {screen_.size.width, screen_.size.height, settings_.clipboardText, screen_.desktop.get(),
                            std::chrono::seconds(settings_.idleLimit)});
    {
      std::lock_guard guard(sessionLock_);
      current_ = &session;
      if (stop_) session.stop(stopReason());
    }
    const std::string why = session.run();
    {
      std::lock_guard guard(sessionLock_);
      current_ = nullptr;
    }
    if (inputLog_) inputLog_->write(R"({"event":"end"})");
    say("the session has ended: " + why);
    inSession_ = false;
    server_.setUserActive(0);  // the next login may take the session
  }

  ConsoleServer& server_;
  const ConsoleSettings& settings_;
  const bool riskedInClear_;
  const ServedScreen& screen_;
  InputLog* inputLog_;
  ConcurrentLogins logins_;
  std::mutex sessionLock_;
  bool stop_ = false;
  ConsoleSession* current_ = nullptr;
  std::atomic<bool> inSession_{false};
};

}  // namespace

int runConsole(const ConsoleSettings& s) {
  std::string error;
  const auto plan = planConsole(s, error);
  if (!plan) return fail(kCommand, error);
  const auto accounts = openAccounts(s);
  if (!accounts) return kExitAccounts;
  std::optional<std::string> allowList;
  if (s.allowFile && !(allowList = readAllowList(*s.allowFile, error))) return fail(kCommand, error);

  std::unique_ptr<ConsoleTls> tls;
  if (plan->tls && !(tls = ConsoleTls::open(s, error))) return fail(kCommand, error);

  const sigset_t endSignals = blockEndSignals();
  if (plan->display) {
    // The X server going away ends the console as a signal does, through the thread that waits
    // for them: the viewer is told, and the exit code is the display's.
    onDisplayLost([name = *plan->display] {
      logLine(stderr, Priority::Error, "error: the X display '" + displayName(name) + "' has gone away: the console stops");
      kill(getpid(), SIGTERM);
    });
  }
  ServedScreen screen;
  if (const auto failed = openScreen(s, *plan, screen)) return *failed;

  ConsoleServer server(*accounts);
  configureServer(server, s, *plan, allowList, tls.get());
  if (!server.startListening()) {
    const int why = errno;
    const std::string ports = s.clearPort ? "ports " + std::to_string(s.port) + " and " + std::to_string(*s.clearPort)
                                          : "port " + std::to_string(s.port);
    printError(kCommand, "cannot listen on " + hostText(plan->listen.text) + " " + ports + ": " + whyNotListening(why));
    return kExitNoConnection;
  }

  // Only now that the console can start: a console that cannot must leave an earlier log as it was.
  LogFile logFile(nullptr, nullptr);
  std::unique_ptr<InputLog> inputLog;
  if (s.inputLog) {
    logFile = openInputLog(*s.inputLog);
    if (!logFile) return fail(kCommand, "cannot write the input log '" + *s.inputLog + "': " + std::strerror(errno));
    inputLog = std::make_unique<InputLog>(logFile.get());
  }

  std::optional<ProbeAnswerer> probes;
  if (s.probe && !(probes = startProbes(*accounts, s, *plan))) return kExitNoConnection;
  say("listening on " + hostText(plan->listen.text) + ":" + std::to_string(server.listeningPort().value_or(0)) +
      (tls ? " with TLS" : "") + (s.probe ? ", answering probes on UDP port " + std::to_string(s.probePort) : ""));
  if (const auto clear = server.clearListeningPort()) {
    say("viewers without TLS are served on " + hostText(plan->listen.text) + ":" + std::to_string(*clear) + " too");
  }
  if (tls) say("TLS key " + tls->fingerprint() + " (" + tls->origin() + "); viewers check it with --tls-fingerprint");
  warnOfClearPasswords(s, *plan, server.clearListeningPort().value_or(server.listeningPort().value_or(0)));
  if (screen.desktop) say("serving the " + screen.desktop->source().describe() + (s.viewOnly ? ", view only" : ""));
  if (allowList && plan->listen.ipv6) {
    note("the allow list holds IPv4 addresses: viewers that come over IPv6 will be refused");
  }
  if (plan->listen.loopback && !s.allowLocal) {
    warn("listening on " + plan->listen.text + " only, without --allow-local: every viewer will be refused");
  }

  SessionLoop(server, s, *plan, screen, inputLog.get()).run(endSignals, probes ? probes->server.get() : nullptr);
  if (probes) probes->result.wait();
  say("stopped");
  return displayLost() ? kExitDisplay : kExitOk;
}

}  // namespace vantrel::cli
