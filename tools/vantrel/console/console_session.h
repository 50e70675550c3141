#pragma once
// One viewer's session on `vantrel console`, from its login to its end: the screen goes out as
// the viewer acknowledges what it had, and everything the viewer sends goes to the input log.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "console/desktop_port.h"
#include "console/frame_source.h"
#include "console/link_timing.h"
#include "server/console_server.h"
#include "server/screen_feed.h"

namespace vantrel::cli {

// One JSON object per line, written whole and flushed, so that a reader sees complete lines.
class InputLog {
 public:
  explicit InputLog(std::FILE* file) : file_(file) {}
  void write(std::string_view jsonObject);

  // A JSON string literal of 8-bit text (bytes above 127 read as Latin-1).
  static std::string quote(std::string_view text);

 private:
  std::mutex lock_;
  std::FILE* file_;
};

class ConsoleSession {
 public:
  struct Options {
    int width = 1024;
    int height = 768;
    std::optional<std::string> clipboardText;
    DesktopPort* desktop = nullptr;  // a real desktop behind the pictures: input goes into it
    // A viewer that keeps the console waiting this long (for an acknowledgement, or for its
    // first DisplayDepth), or whose system takes nothing off the link for this long while
    // messages wait for it, is taken for hung or gone, and its session ends.
    std::chrono::seconds idleLimit{60};
  };

  ConsoleSession(ConsoleServer& server, FrameSource& source, InputLog* log, Options options)
      : server_(server), source_(source), log_(log), options_(std::move(options)) {}

  // Serves the logged-in viewer until it goes away, keeps the console waiting past the idle
  // limit, or stop() is called; closes the link. Returns why the session ended.
  std::string run();
  // From any thread: ends run() soon, telling the viewer that the session is over; run()
  // returns `why`.
  void stop(std::string why);

 private:
  // The messages of one frame, sent in turn; they point into the feed and into the session.
  struct FrameMessages {
    std::array<const ConsoleMessage*, 3> messages{};
    std::size_t count = 0;
    std::size_t sent = 0;
    void add(const ConsoleMessage* m) {
      if (m != nullptr) messages[count++] = m;
    }
    bool done() const { return sent == count; }
    const ConsoleMessage* next() { return messages[sent++]; }
    void clear() { count = sent = 0; }
  };
  // What the viewer's system takes off the link, looked at every `lookEvery` at most (each look
  // is a few system calls). A viewer that keeps acknowledging but has stopped reading only lets
  // the console's messages pile up in the send queue: its acknowledgements prove nothing, the
  // bytes it takes do.
  class Uptake {
   public:
    using Clock = std::chrono::steady_clock;
    Uptake(Clock::time_point start, Clock::duration lookEvery)
        : lookEvery_(lookEvery), nextLook_(start), lastTaken_(start) {}
    Clock::time_point nextLook() const { return nextLook_; }
    void look(const std::optional<NetSocket::SendProgress>& progress, Clock::time_point now);
    // When the viewer last took something, as far as the system tells: whenever nothing waited
    // for it, or the system could not tell, it was taking.
    Clock::time_point lastTaken() const { return lastTaken_; }
    // Whether messages waited for the viewer at the last look.
    bool waiting() const { return waiting_; }

   private:
    Clock::duration lookEvery_;
    Clock::time_point nextLook_;
    Clock::time_point lastTaken_;
    std::uint64_t acknowledged_ = 0;
    bool waiting_ = false;
  };

  void frameMessages(ScreenFeed& feed, std::chrono::milliseconds elapsed, bool smallFirst, FrameMessages& out);
  void readInput();
  void log(std::string_view jsonObject) {
    if (log_) log_->write(jsonObject);
  }

  ConsoleServer& server_;
  FrameSource& source_;
  InputLog* log_;
  Options options_;

  std::mutex lock_;
  std::condition_variable changed_;
  bool ended_ = false;       // the viewer is gone
  std::string viewerEnd_ = "the viewer has gone";
  bool stopping_ = false;    // stop() was called
  std::string stopReason_;
  int outstanding_ = 0;      // messages sent and not yet acknowledged
  long long acknowledged_ = 0;
  bool sourceChanged_ = false;  // the frame source says the picture has changed
  LinkTiming timing_;
  ScreenFeed::Rect overlayArea_{};  // of the last pointer overlay sent
  std::optional<std::uint32_t> depth_;  // the viewer's latest DisplayDepth, until taken
  // The desktop's clipboard text for the viewer, kept until it has been sent.
  std::string clipboardForViewer_;
  ConsoleMessage clipboardMessage_;
};

}  // namespace vantrel::cli
