// vantrel snap HOST[:PORT] --user NAME --out FILE.png [--timeout SECONDS] [--frames N] ...
// A viewer without a screen: it logs in, runs the viewer's session on a software surface and
// saves what it shows once a whole screen has arrived. Its clipboard is a file: one text sent
// right after the login, as a viewer sends what its clipboard holds, and the console's last
// text kept.
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "catalog/user_messages.h"
#include "catalog/whole_file.h"
#include "clipboard/clipboard_text.h"
#include "commands.h"
#include "png_image.h"
#include "protocol/console_link.h"
#include "screen/software_surface.h"
#include "viewer/client_connection.h"
#include "viewer/headless_session.h"
#include "viewer/viewer_login.h"
#include "viewer/viewer_tls.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kCommand = "snap";
constexpr std::chrono::milliseconds kQuiet{40};
constexpr std::chrono::milliseconds kMostSettling{1000};

// Whether a file can be made or replaced at `path`, asked before the login so that a picture
// is not fetched only to be thrown away.
std::optional<std::string> cannotWrite(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(path, error)) return "'" + path + "' is a directory";
  const fs::path parent = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
  if (access(parent.c_str(), W_OK | X_OK) != 0) {
    return "cannot write in '" + parent.string() + "': " + std::strerror(errno);
  }
  if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
    return "cannot write '" + path + "': " + std::strerror(errno);
  }
  return std::nullopt;
}

bool writeWhole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

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

int runSnap(const SnapSettings& s) {
  std::string error;
  const auto target = viewerTarget(s.target, s.catalog, error);
  if (!target) return fail(kCommand, error);
  if (const auto problem = cannotWrite(s.out)) return fail(kCommand, *problem);
  std::optional<std::string> clipboardIn;
  if (s.clipboardIn) {
    const auto local = readWholeFile(*s.clipboardIn == "-" ? "/dev/stdin" : *s.clipboardIn);
    if (!local) return fail(kCommand, "--clipboard-in: cannot read '" + *s.clipboardIn + "'");
    clipboardIn = clipboardTextToSend(*local, kMaxClipboardSend);
    if (!clipboardIn) {
      return fail(kCommand, "--clipboard-in: the text of '" + *s.clipboardIn + "' is longer than " +
                                std::to_string(kMaxClipboardSend) + " bytes without its CRs, more than a viewer sends");
    }
  }
  std::unique_ptr<ViewerTls> tls;
  if (s.tls.wanted() && !(tls = ViewerTls::create(kCommand, s.tls, target->port, error))) return fail(kCommand, error);
  const auto password = readPassword(s.password, "Password: ", error);
  if (!password) return fail(kCommand, error);

  auto deadline = Clock::now() + std::chrono::seconds(s.timeout);
  const auto remaining = [&] {
    return std::max(1ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
  };

  ViewerMessages viewerMessages(s.catalog);
  UserMessages& messages = viewerMessages.messages();
  ConsoleLinkOptions options;
  options.tcpPort = target->port;
  options.connectLimit = remaining();
  options.loginLimit = remaining();
  if (tls) tls->attach(options);
  ConsoleLink link(messages, options);
  if (const int refused =
          logInAsViewer(kCommand, link, *target, s.user, *password, viewerMessages, deadline, tls.get())) {
    return refused;
  }

  SoftwareSurface surface;
  HeadlessWindow window;
  MemoryClipboard clipboard;
  auto connection = ClientConnection::create({surface, window, clipboard, messages}, {0ms});
  if (!connection) return fail(kCommand, "cannot allocate the session's buffers");
  connection->link = &link;
  if (!connection->start()) return fail(kCommand, "cannot start the receive thread");
  if (clipboardIn) connection->sendClipboardText(*clipboardIn);  // a lost link shows below

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
  int result = kExitOk;
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
      if (!firstFull && display.fullFrameSeen()) firstFull = display.updatesDrawn();
      if (!reached && !(s.frames == 0 && firstFull)) result = kExitSessionEnded;
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
  if (result != kExitOk && !firstFull) {
    std::fprintf(stderr, "vantrel snap: %s before a whole screen arrived (%llu updates drawn)\n",
                 result == kExitTimeOut ? "the time-out ran out" : "the session ended",
                 static_cast<unsigned long long>(drawn));
    return result;
  }
  if (result != kExitOk) {
    // What did arrive is still worth having: the screen as the last update left it.
    std::fprintf(stderr,
                 "vantrel snap: %s after %llu of the %u further updates asked for; saving the screen as it is\n",
                 result == kExitTimeOut ? "the time-out ran out" : "the session ended",
                 static_cast<unsigned long long>(drawn - *firstFull), s.frames);
  }

  if (!savePng(s.out, pictureOf(surface), error)) return fail(kCommand, "cannot save " + error);
  std::printf("%s: %u x %u, %llu updates\n", s.out.c_str(), surface.width(), surface.height(),
              static_cast<unsigned long long>(drawn));
  if (s.stats && s.frames > 0 && reached && result == kExitOk) {
    // From the first whole screen to the last update waited for.
    const auto further = static_cast<double>(reached->drawn - *firstFull);
    const double took = std::chrono::duration<double>(reached->at - fullAt).count();
    std::printf("stats: %.0f updates in %.3f s: %.1f updates/s, %.3f ms CPU per update, max resident %ld KiB\n",
                further, took, further / took, (reached->cpu - cpuAtFull) * 1000.0 / further,
                maxResidentKilobytes());
  }
  return result;
}

}  // namespace vantrel::cli
