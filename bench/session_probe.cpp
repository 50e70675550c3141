// session_probe HOST:PORT --user NAME --seconds S [--type-into X,Y,W,H]
// A headless viewer of ours (the session core of vantrel snap) that measures what a user of
// the session feels: updates a second and bytes an update while the console's screen changes,
// and, with --type-into, how long a keystroke takes to show. It points at the middle of the
// area's bottom edge (so that the pointer's overlay stays clear of the text), then types one
// letter at a time and waits until an update changes a pixel of the area: from the key's press
// leaving the viewer to the update drawn. The area should show each letter in one stroke (a
// terminal that echoes characters as they come, its text cursor hidden), so that no part of
// one key's echo is taken for the next's. The password comes from VANTREL_PASSWORD (or a
// prompt). It prints one line of figures:
//   updates N seconds T rate R bytes_per_update B keys K echoed E median_ms M p95_ms P
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "protocol/console_link.h"
#include "screen/software_surface.h"
#include "viewer/client_connection.h"
#include "viewer/headless_session.h"
#include "viewer/viewer_login.h"
#include "viewer/viewer_tls.h"

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The surface of the session, watching one area for the first change after it is armed.
class WatchedSurface final : public SurfacePort {
 public:
  explicit WatchedSurface(const SurfaceRect& area) : area_(area) {}

  SurfaceResult createSurface(std::uint32_t width, std::uint32_t height) override {
    std::lock_guard guard(lock_);
    return surface_.createSurface(width, height);
  }
  bool querySurfaceFormat(std::span<std::uint8_t> format) override { return surface_.querySurfaceFormat(format); }
  bool clearRect(const SurfaceRect& rect) override {
    std::lock_guard guard(lock_);
    return surface_.clearRect(rect);
  }
  bool drawToSurface(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override {
    std::lock_guard guard(lock_);
    const bool drawn = surface_.drawToSurface(rect, image, op, scroll);
    if (armed_ && overlaps(rect) && areaPixels() != before_) {
      changedAt_ = Clock::now();
      armed_ = false;
      changed_.notify_all();
    }
    return drawn;
  }
  bool restoreWindowArea(const SurfaceRect& rect, ScrollOffset scroll) override {
    return surface_.restoreWindowArea(rect, scroll);
  }
  bool drawOverlay(const SurfaceRect& rect, const DibImage& image, RasterOp op, ScrollOffset scroll) override {
    return surface_.drawOverlay(rect, image, op, scroll);
  }
  void realisePalette(std::span<const PaletteEntry> entries) override { surface_.realisePalette(entries); }
  void paintWindow(WindowRef window, std::uint32_t width, std::uint32_t height, ScrollOffset scroll,
                   bool realise) override {
    surface_.paintWindow(window, width, height, scroll, realise);
  }

  // Notes the area as it is now; the next update that changes it ends waitForChange.
  void arm() {
    std::lock_guard guard(lock_);
    before_ = areaPixels();
    armed_ = true;
  }
  // When the area changed after arm(); nothing when it did not by `deadline`.
  std::optional<Clock::time_point> waitForChange(Clock::time_point deadline) {
    std::unique_lock lk(lock_);
    if (!changed_.wait_until(lk, deadline, [&] { return !armed_; })) {
      armed_ = false;
      return std::nullopt;
    }
    return changedAt_;
  }

 private:
  bool overlaps(const SurfaceRect& r) const {
    return r.left < area_.right && area_.left < r.right && r.top < area_.bottom && area_.top < r.bottom;
  }
  std::vector<std::uint32_t> areaPixels() const {
    std::vector<std::uint32_t> out;
    if (!surface_.hasSurface()) return out;
    const auto right = std::min<std::uint32_t>(static_cast<std::uint32_t>(area_.right), surface_.width());
    const auto bottom = std::min<std::uint32_t>(static_cast<std::uint32_t>(area_.bottom), surface_.height());
    for (auto y = static_cast<std::uint32_t>(area_.top); y < bottom; ++y) {
      for (auto x = static_cast<std::uint32_t>(area_.left); x < right; ++x) out.push_back(surface_.pixel(x, y));
    }
    return out;
  }

  const SurfaceRect area_;
  SoftwareSurface surface_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool armed_ = false;
  std::vector<std::uint32_t> before_;
  Clock::time_point changedAt_{};
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

int run(int argc, char** argv) {
  CLI::App app{"A viewer that measures a session: updates, bytes and keystroke-to-screen latency"};
  std::string targetText, user;
  int seconds = 10;
  std::vector<int> typeInto;
  app.add_option("TARGET", targetText, "HOST[:PORT] of the console")->required();
  app.add_option("--user", user, "the user to log in as")->required();
  app.add_option("--seconds", seconds, "how long to measure, after a whole screen and 2 s to settle")
      ->capture_default_str();
  cli::ViewerTlsSettings tlsSettings;
  app.add_option("--tls-fingerprint", tlsSettings.fingerprint, "talk inside TLS to the console with this key")
      ->type_name("KEY");
  app.add_option("--type-into", typeInto, "X,Y,W,H of a terminal on the console's screen: type into it")
      ->delimiter(',')
      ->expected(4);
  CLI11_PARSE(app, argc, argv);

  std::string error;
  const auto target = cli::viewerTarget(targetText, std::nullopt, error);
  const auto password = target ? cli::readPassword({}, "Password: ", error) : std::nullopt;
  if (!password) {
    std::fprintf(stderr, "session_probe: %s\n", error.c_str());
    return 1;
  }
  cli::ViewerMessages viewerMessages(std::nullopt);
  ConsoleLinkOptions options;
  options.tcpPort = target->port;
  std::unique_ptr<cli::ViewerTls> tls;
  if (tlsSettings.wanted()) {
    if (!(tls = cli::ViewerTls::create("probe", tlsSettings, target->port, error))) {
      std::fprintf(stderr, "session_probe: %s\n", error.c_str());
      return 1;
    }
    tls->attach(options);
  }
  ConsoleLink link(viewerMessages.messages(), options);
  auto deadline = Clock::now() + 30s;
  if (const int refused =
          cli::logInAsViewer("probe", link, *target, user, *password, viewerMessages, deadline, tls.get())) {
    return refused;
  }

  SurfaceRect area{};
  if (!typeInto.empty()) area = {typeInto[0], typeInto[1], typeInto[0] + typeInto[2], typeInto[1] + typeInto[3]};
  WatchedSurface surface(area);
  HeadlessWindow window;
  MemoryClipboard clipboard;
  auto connection = ClientConnection::create({surface, window, clipboard, viewerMessages.messages()}, {0ms});
  if (!connection) return 1;
  connection->link = &link;
  if (!connection->start()) return 1;
  const auto send = [&](ConsoleMessage m) { return link.sendMessage(m); };
  const DisplayState& display = connection->display();
  for (const auto wholeBy = Clock::now() + 30s; !display.fullFrameSeen(); std::this_thread::sleep_for(5ms)) {
    if (Clock::now() > wholeBy || connection->receiveThreadEnded()) {
      std::fprintf(stderr, "session_probe: no whole screen arrived\n");
      return 1;
    }
  }
  if (!typeInto.empty()) {
    send(pointerEventMessage(static_cast<std::uint16_t>((area.left + area.right) / 2),
                             static_cast<std::uint16_t>(area.bottom - 4), 0));
  }
  std::this_thread::sleep_for(2s);

  // The letters of a sentence, over and over. Each is pressed and released; what the area
  // shows changes when its echo has been drawn.
  const std::string sentence = "thequickbrownfoxjumpsoverthelazydog";
  int keys = 0;
  const auto type = [&] {
    const auto keysym = static_cast<std::uint32_t>(sentence[static_cast<std::size_t>(keys++) % sentence.size()]);
    surface.arm();
    const auto pressed = Clock::now();
    return send(keyEventMessage(keysym, true)) && send(keyEventMessage(keysym, false)) ? std::optional(pressed)
                                                                                      : std::nullopt;
  };
  // A terminal that has only just started may not read its keys yet.
  for (int tries = 0; !typeInto.empty(); ++tries) {
    if (tries == 10 || !type()) {
      std::fprintf(stderr, "session_probe: nothing typed into %d,%d %dx%d shows\n", area.left, area.top,
                   area.right - area.left, area.bottom - area.top);
      return 1;
    }
    if (surface.waitForChange(Clock::now() + 2s)) break;
  }
  keys = 0;

  // After each echo a pause of 20 ms and a random part of the time between updates so far, so
  // that keys land anywhere between two updates rather than in step with them.
  std::minstd_rand random(7);
  std::vector<double> latencies;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  const std::uint64_t updatesBefore = display.updatesDrawn(), bytesBefore = connection->bytesReceived();
  while (Clock::now() < end && !connection->receiveThreadEnded()) {
    if (typeInto.empty()) {
      std::this_thread::sleep_for(20ms);
      continue;
    }
    const auto pressed = type();
    if (!pressed) break;
    if (const auto echo = surface.waitForChange(std::max(end, *pressed + 10s))) {
      latencies.push_back(std::chrono::duration<double, std::milli>(*echo - *pressed).count());
    }
    const auto drawn = static_cast<long>(display.updatesDrawn() - updatesBefore);
    const Clock::duration between = drawn > 0 ? (Clock::now() - start) / drawn : Clock::duration(50ms);
    std::this_thread::sleep_for(20ms + between * static_cast<long>(random() % 1000) / 1000);
  }
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  const std::uint64_t updates = display.updatesDrawn() - updatesBefore;
  const std::uint64_t bytes = connection->bytesReceived() - bytesBefore;
  connection->stop();
  std::printf("updates %llu seconds %.3f rate %.2f bytes_per_update %.0f keys %d echoed %zu median_ms %.2f "
              "p95_ms %.2f\n",
              static_cast<unsigned long long>(updates), took, static_cast<double>(updates) / took,
              updates ? static_cast<double>(bytes) / static_cast<double>(updates) : 0.0, keys, latencies.size(),
              percentile(latencies, 0.5), percentile(latencies, 0.95));
  return 0;
}

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) { return vantrel::run(argc, argv); }
