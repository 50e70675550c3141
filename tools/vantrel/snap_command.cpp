// vantrel snap HOST[:PORT] --user NAME --password PASS --out FILE.png [--timeout SECONDS]
//              [--frames N] [--catalog DIR] [--stats] [--clipboard-in FILE|-] [--clipboard-out FILE]
// A viewer without a screen: it logs in, runs the viewer's session on a software surface and
// saves what it shows once a whole screen has arrived. Its clipboard is a file: one text sent
// right after the login, as a viewer sends what its clipboard holds, and the console's last
// text kept.
#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "catalog/message_catalog.h"
#include "catalog/user_messages.h"
#include "clipboard/clipboard_text.h"
#include "commands.h"
#include "png_image.h"
#include "protocol/console_link.h"
#include "protocol/login_status.h"
#include "screen/software_surface.h"
#include "viewer/client_connection.h"
#include "viewer/headless_session.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kCommand = "snap";
constexpr const char* kUsage =
    "usage: vantrel snap HOST[:PORT] --user NAME --password PASS --out FILE.png [--timeout SECONDS] "
    "[--frames N] [--catalog DIR] [--stats] [--clipboard-in FILE|-] [--clipboard-out FILE]";
constexpr int kExitRefused = 2;
constexpr int kExitNoConnection = 3;
constexpr int kExitTimeOut = 4;
constexpr int kExitSessionEnded = 5;
constexpr std::chrono::milliseconds kQuiet{40};
constexpr std::chrono::milliseconds kMostSettling{1000};

// Catalogue lookups come back as this mark and the key, so that a box can name its key.
constexpr char kKeyMark = '\x1F';

struct Settings {
  std::string host;
  std::uint16_t port = 25000;
  std::string user;
  std::string password;
  std::string out;
  std::chrono::milliseconds timeout = 20s;
  unsigned frames = 0;
  std::optional<std::string> catalog;
  bool stats = false;
  std::optional<std::string> clipboardIn;  // ready to send
  std::optional<std::string> clipboardOut;
};

std::optional<unsigned> parseNumber(const std::string& text, unsigned least, unsigned most) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < least || value > most) return std::nullopt;
  return value;
}

// A file's bytes, or standard input's for "-".
std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream file;
  if (path != "-") file.open(path, std::ios::binary);
  std::istream& in = path == "-" ? std::cin : file;
  if (!in) return std::nullopt;
  try {
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
  } catch (const std::ios_base::failure&) {  // a directory, for one
    return std::nullopt;
  }
}

bool writeWhole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

std::variant<Settings, std::string> parse(Args args) {
  Settings s;
  bool haveHost = false, haveUser = false, havePassword = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--stats") {
      s.stats = true;
    } else if (a == "--user" || a == "--password" || a == "--out" || a == "--timeout" || a == "--frames" ||
               a == "--catalog" || a == "--clipboard-in" || a == "--clipboard-out") {
      const std::string* v = value();
      if (v == nullptr) return a + " needs a value";
      if (a == "--user") {
        s.user = *v;
        haveUser = true;
      } else if (a == "--password") {
        s.password = *v;
        havePassword = true;
      } else if (a == "--out") {
        s.out = *v;
      } else if (a == "--timeout") {
        const auto seconds = parseNumber(*v, 1, 86400);
        if (!seconds) return "--timeout takes seconds, 1 to 86400";
        s.timeout = std::chrono::seconds(*seconds);
      } else if (a == "--frames") {
        const auto frames = parseNumber(*v, 0, 1000000);
        if (!frames) return "--frames takes a count, 0 to 1000000";
        s.frames = *frames;
      } else if (a == "--clipboard-in") {
        const auto local = readWhole(*v);
        if (!local) return "--clipboard-in: cannot read '" + *v + "'";
        s.clipboardIn = clipboardTextToSend(*local, kMaxClipboardSend);
        if (!s.clipboardIn) {
          return "--clipboard-in: the text of '" + *v + "' is longer than " + std::to_string(kMaxClipboardSend) +
                 " bytes without its CRs, more than a viewer sends";
        }
      } else if (a == "--clipboard-out") {
        s.clipboardOut = *v;
      } else {
        if (!std::filesystem::is_regular_file(std::filesystem::path(*v) / "consoleclient.ini")) {
          return "no consoleclient.ini in '" + *v + "'";
        }
        s.catalog = *v;
      }
    } else if (!haveHost && a.rfind("--", 0) != 0) {
      const auto colon = a.rfind(':');
      s.host = a.substr(0, colon);
      if (colon != std::string::npos) {
        const auto port = parseNumber(a.substr(colon + 1), 1, 65535);
        if (!port) return "'" + a.substr(colon + 1) + "' is not a port number (1 to 65535)";
        s.port = static_cast<std::uint16_t>(*port);
      }
      haveHost = !s.host.empty();
      if (!haveHost) return "no host in '" + a + "'";
    } else {
      return "unexpected argument '" + a + "'";
    }
  }
  if (!haveHost || !haveUser || !havePassword || s.out.empty()) return "HOST, --user, --password and --out are needed";
  return s;
}

// Every box becomes one line on standard error: "box: KEY", or "box: TEXT" for the boxes
// whose text is fixed, then the catalogue's text when there is a catalogue.
class PrintedBoxes final : public MessageBoxPort {
 public:
  explicit PrintedBoxes(const MessageCatalog* catalog) : catalog_(catalog) {}

  void show(WindowRef, const std::string& text, const std::string&, unsigned) override {
    if (text.empty() || text[0] != kKeyMark) {
      std::fprintf(stderr, "box: %s\n", oneLine(text).c_str());
      return;
    }
    std::string key = text.substr(1);
    const std::string_view suffix = MessageCatalog::languageSuffix(0);
    if (key.size() > suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
      key.resize(key.size() - suffix.size());
    }
    if (catalog_ != nullptr) {
      std::fprintf(stderr, "box: %s: %s\n", key.c_str(),
                   oneLine(catalog_->lookupText(MessageCatalog::kSection, key, 0)).c_str());
    } else {
      std::fprintf(stderr, "box: %s\n", key.c_str());
    }
  }

 private:
  static std::string oneLine(std::string text) {
    for (auto& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
  }
  const MessageCatalog* catalog_;
};

RgbImage pictureOf(const SoftwareSurface& surface) {
  RgbImage image;
  image.width = static_cast<int>(surface.width());
  image.height = static_cast<int>(surface.height());
  image.rgb.reserve(surface.pixels().size() * 3);
  for (const std::uint32_t p : surface.pixels()) {
    image.rgb.push_back(static_cast<std::uint8_t>(p >> 16));
    image.rgb.push_back(static_cast<std::uint8_t>(p >> 8));
    image.rgb.push_back(static_cast<std::uint8_t>(p));
  }
  return image;
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long maxResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int runSnap(Args args) {
  auto parsed = parse(args);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "vantrel snap: %s\n%s\n", error->c_str(), kUsage);
    return 1;
  }
  const Settings& s = std::get<Settings>(parsed);
  const auto deadline = Clock::now() + s.timeout;
  const auto remaining = [&] {
    return std::max(1ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
  };

  std::optional<MessageCatalog> catalog;
  if (s.catalog) catalog.emplace(*s.catalog);
  const MessageCatalog keys("", [](std::string_view, std::string_view key, std::string_view, const std::string&) {
    return kKeyMark + std::string(key);
  });
  PrintedBoxes boxes(catalog ? &*catalog : nullptr);
  UserMessages messages;
  messages.boxes = &boxes;
  messages.catalog = &keys;

  ConsoleLinkOptions options;
  options.tcpPort = s.port;
  options.connectLimit = remaining();
  options.loginLimit = remaining();
  ConsoleLink link(messages, options);
  const int login = link.connectAndLogin(s.host, kLoginRequest, s.user, s.password);
  if (login == 0) {
    // The status wait ends with the time-out, give or take the timer's grain.
    if (Clock::now() >= deadline - 100ms) {
      std::fprintf(stderr, "vantrel snap: no answer from %s within the time-out\n", s.host.c_str());
      return kExitTimeOut;
    }
    std::fprintf(stderr, "vantrel snap: no connection to %s port %u\n", s.host.c_str(), s.port);
    return kExitNoConnection;
  }
  if (login != 1) {
    std::fprintf(stderr, "vantrel snap: the console refused the login (%d)\n", login);
    return kExitRefused;
  }

  SoftwareSurface surface;
  HeadlessWindow window;
  MemoryClipboard clipboard;
  auto connection = ClientConnection::create({surface, window, clipboard, messages}, {0ms});
  if (!connection) return fail(kCommand, "cannot allocate the session's buffers");
  connection->link = &link;
  if (!connection->start()) return fail(kCommand, "cannot start the receive thread");
  if (s.clipboardIn) connection->sendClipboardText(*s.clipboardIn);  // a lost link shows below

  // Wait for a whole screen, then for the further updates asked for.
  const DisplayState& display = connection->display();
  std::optional<std::uint64_t> firstFull;
  Clock::time_point fullAt{};
  double cpuAtFull = 0;
  struct Measure {
    Clock::time_point at;
    double cpu;
    std::uint64_t drawn;
  };
  std::optional<Measure> reached;
  std::uint64_t lastCount = 0;
  Clock::time_point lastChange{};
  int result = 0;
  for (;;) {
    if (!firstFull && display.fullFrameSeen()) {
      firstFull = display.updatesDrawn();
      fullAt = Clock::now();
      cpuAtFull = cpuSeconds();
    }
    const std::uint64_t drawnNow = display.updatesDrawn();
    if (firstFull && !reached && drawnNow >= *firstFull + s.frames) {
      reached = Measure{Clock::now(), cpuSeconds(), drawnNow};
      lastCount = drawnNow;
      lastChange = reached->at;
    }
    if (reached) {
      // A changed picture comes as several rectangles: wait (a little) for a pause, so that
      // the picture saved is a whole one.
      if (lastCount != drawnNow) {
        lastCount = drawnNow;
        lastChange = Clock::now();
      } else if (Clock::now() - lastChange >= kQuiet || Clock::now() - reached->at >= kMostSettling) {
        break;
      }
    }
    if (connection->receiveThreadEnded()) {
      // A whole screen that arrived just before the end still counts.
      const bool enough = reached || (s.frames == 0 && (firstFull || display.fullFrameSeen()));
      if (!enough) result = kExitSessionEnded;
      break;
    }
    if (Clock::now() >= deadline) {
      result = kExitTimeOut;
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  // Nothing draws once the thread has ended, so the surface can be read without the lock.
  connection->stop();
  if (s.clipboardOut) {
    if (clipboard.writes() == 0) {
      std::fprintf(stderr, "vantrel snap: the console sent no clipboard text; %s is not written\n",
                   s.clipboardOut->c_str());
    } else if (!writeWhole(*s.clipboardOut, clipboard.text())) {
      return fail(kCommand, "cannot write the clipboard text to '" + *s.clipboardOut + "'");
    }
  }
  const std::uint64_t drawn = display.updatesDrawn();
  if (result == kExitSessionEnded) {
    std::fprintf(stderr, "vantrel snap: the session ended before a whole screen arrived\n");
    return result;
  }
  if (result == kExitTimeOut) {
    std::fprintf(stderr, "vantrel snap: no whole screen within the time-out (%llu updates drawn)\n",
                 static_cast<unsigned long long>(drawn));
    return result;
  }

  std::string error;
  if (!savePng(s.out, pictureOf(surface), error)) return fail(kCommand, "cannot save " + error);
  std::printf("%s: %u x %u, %llu updates\n", s.out.c_str(), surface.width(), surface.height(),
              static_cast<unsigned long long>(drawn));
  if (s.stats && s.frames > 0 && reached) {
    // From the first whole screen to the last update waited for.
    const auto further = static_cast<double>(reached->drawn - *firstFull);
    const double took = std::chrono::duration<double>(reached->at - fullAt).count();
    std::printf("stats: %.0f updates in %.3f s: %.1f updates/s, %.3f ms CPU per update, max resident %ld KiB\n",
                further, took, further / took, (reached->cpu - cpuAtFull) * 1000.0 / further,
                maxResidentKilobytes());
  }
  return 0;
}

}  // namespace vantrel::cli
