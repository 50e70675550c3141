#include "console/console_session.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <thread>
#include <vector>

#include "clipboard/clipboard_text.h"
#include "json_text.h"
#include "server/screen_feed.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint16_t kAcknowledgement = 11;
constexpr std::uint16_t kAltTab = 14;
constexpr std::uint16_t kCtrlAltDel = 15;
constexpr std::uint16_t kSessionEnd = 17;
// No viewer sends a longer clipboard text; a message that says it does ends the session.
constexpr std::size_t kPayloadCapacity = kMaxClipboardSend;

}  // namespace

void InputLog::write(std::string_view jsonObject) {
  std::lock_guard guard(lock_);
  std::fprintf(file_, "%.*s\n", static_cast<int>(jsonObject.size()), jsonObject.data());
  std::fflush(file_);
}

std::string InputLog::quote(std::string_view text) { return jsonString(text); }

void ConsoleSession::stop() {
  std::lock_guard guard(lock_);
  stopping_ = true;
  changed_.notify_all();
}

std::string ConsoleSession::run() {
  DesktopPort* desktop = options_.desktop;
  if (desktop) desktop->sessionStarted();
  std::thread reader([this] { readInput(); });
  auto feed = ScreenFeed::create(options_.width, options_.height);
  const auto send = [this](const ConsoleMessage& m) { return server_.sendToClient(m); };

  std::unique_lock lk(lock_);
  // Since when the console has been waiting on the viewer, when it is.
  auto waitingSince = Clock::now();
  bool ok = feed.has_value();
  if (ok && options_.clipboardText) {
    ConsoleMessage clip = controlMessage(ConsoleMessage::kClipboardText);
    clip.setU32At(4, static_cast<std::uint32_t>(options_.clipboardText->size()));
    clip.payload = reinterpret_cast<std::uint8_t*>(options_.clipboardText->data());
    outstanding_ = 1;
    lk.unlock();
    ok = send(clip);
    lk.lock();
    waitingSince = Clock::now();
  }

  // One message in flight at a time: the next goes out when the viewer has acknowledged the
  // last. A frame's messages (its update, and a desktop's clipboard text and pointer) are built
  // in the feed's buffers as soon as the last of the frame before has gone and the picture is
  // due, so that the viewer's work on one and the console's on the next overlap; the pause and
  // the pacing on the wire stay as they are.
  auto start = Clock::now();
  bool started = false;
  milliseconds due{0};
  bool haveDepth = false;
  bool idle = false;
  FrameMessages pending;
  while (ok && !ended_ && !stopping_) {
    if (depth_) {
      // What was built for the depth the viewer has left is dropped: a new format comes first.
      feed->setViewerDepth(*depth_);
      depth_.reset();
      haveDepth = true;
      pending.clear();
    }
    if (haveDepth) {
      if (pending.done() && feed->needsFormat()) {
        pending.clear();
        pending.add(&feed->formatMessage());
        due = milliseconds(0);
        if (!started) start = Clock::now();  // the pictures start when the viewer can see them
        started = true;
      }
      const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
      if (pending.done() && elapsed >= due) {
        lk.unlock();
        pending.clear();
        frameMessages(*feed, elapsed, pending);
        lk.lock();
        due = source_.nextChange(elapsed);
        continue;  // a depth change may have come meanwhile
      }
      if (!pending.done() && outstanding_ == 0) {
        outstanding_ = 1;
        const ConsoleMessage* next = pending.next();
        lk.unlock();
        ok = send(*next);
        lk.lock();
        waitingSince = Clock::now();
        continue;
      }
    }
    // Waiting: for the viewer (its acknowledgement, or its first DisplayDepth), no longer than
    // the idle limit, and for the next picture when one is due (none after a single still one).
    auto wakeAt = Clock::time_point::max();
    if (outstanding_ > 0 || !haveDepth) {
      const auto limit = waitingSince + options_.idleLimit;
      if (Clock::now() >= limit) {
        idle = true;
        break;
      }
      wakeAt = limit;
    }
    if (haveDepth && pending.done() && due != milliseconds::max()) wakeAt = std::min(wakeAt, start + due);
    if (wakeAt == Clock::time_point::max()) {
      changed_.wait(lk);
    } else {
      changed_.wait_until(lk, wakeAt);
    }
  }
  const bool stopping = stopping_, ended = ended_;
  lk.unlock();

  if (stopping && !ended) send(controlMessage(kSessionEnd));
  server_.interruptSession();
  reader.join();
  if (desktop) desktop->sessionEnded();
  server_.endSession();

  const std::string limit = std::to_string(options_.idleLimit.count()) + " s";
  if (!feed) return "the screen cannot be served";
  if (stopping) return "the console is stopping";
  if (idle) return "the viewer has acknowledged nothing for " + limit;
  if (ended) return viewerEnd_;
  return "a send to the viewer failed (it has gone, or has read nothing for " + limit + ")";
}

// The update of the picture `elapsed` into the session, then the desktop's clipboard text and
// its pointer drawn over the screen (after the update, which paints over an overlay on the
// viewer's window).
void ConsoleSession::frameMessages(ScreenFeed& feed, milliseconds elapsed, FrameMessages& out) {
  const FrameSource::Frame frame = source_.frameAt(elapsed);
  const ConsoleMessage* update = feed.updateFor(frame.picture.rgb, frame.changed);
  out.add(update);
  DesktopPort* desktop = options_.desktop;
  if (desktop == nullptr) return;
  if (auto text = desktop->takeClipboardForViewer()) {
    clipboardForViewer_ = std::move(*text);
    clipboardMessage_ = controlMessage(ConsoleMessage::kClipboardText);
    clipboardMessage_.setU32At(4, static_cast<std::uint32_t>(clipboardForViewer_.size()));
    clipboardMessage_.payload = reinterpret_cast<std::uint8_t*>(clipboardForViewer_.data());
    out.add(&clipboardMessage_);
  }
  if (const OverlayPicture* cursor = desktop->cursorOverlay(frame.picture, update != nullptr)) {
    const PixelRect& a = cursor->area;
    out.add(feed.overlayFor({a.x, a.y, a.width, a.height}, cursor->rgb));
  }
}

void ConsoleSession::readInput() {
  std::vector<std::uint8_t> buffer(kPayloadCapacity);
  char line[160];
  for (;;) {
    ConsoleMessage m;
    m.payload = buffer.data();
    if (!server_.receiveFromClient(m, buffer.size())) {
      if (server_.isLinkAlive()) continue;  // a stray type byte: the next byte starts the next message
      if (wirePayloadLength(m) > buffer.size()) {
        std::snprintf(line, sizeof line, R"({"event":"refused","type":%u,"length":%)" PRIu32 "}", m.type(),
                      wirePayloadLength(m));
        log(line);
        std::lock_guard guard(lock_);
        viewerEnd_ = "the viewer sent " + std::to_string(wirePayloadLength(m)) + " bytes, more than it may";
      }
      break;
    }
    switch (m.type()) {
      case ConsoleMessage::kKeyEvent:
        std::snprintf(line, sizeof line, R"({"event":"key","keysym":"0x%04)" PRIx32 R"(","down":%s})", m.u32At(4),
                      m.flag() != 0 ? "true" : "false");
        log(line);
        if (options_.desktop) options_.desktop->key(m.u32At(4), m.flag() != 0);
        break;
      case ConsoleMessage::kPointerEvent:
        std::snprintf(line, sizeof line, R"({"event":"pointer","x":%u,"y":%u,"mask":%u})", m.u16At(2), m.u16At(4),
                      m.flag());
        log(line);
        if (options_.desktop) options_.desktop->pointer({m.u16At(2), m.u16At(4)}, m.flag());
        break;
      case ConsoleMessage::kControl: {
        const std::uint16_t subtype = m.u16At(2);
        if (subtype == kAcknowledgement) {
          std::lock_guard guard(lock_);
          outstanding_ = 0;
          std::snprintf(line, sizeof line, R"({"event":"ack","count":%lld})", ++acknowledged_);
          changed_.notify_all();
        } else if (subtype == ConsoleMessage::kClipboardText) {
          const std::string_view text(reinterpret_cast<const char*>(buffer.data()), m.u32At(4));
          log(R"({"event":"clipboard","text":)" + InputLog::quote(text) + "}");
          if (options_.desktop) options_.desktop->clipboardFromViewer(std::string(text));
          break;
        } else if (subtype == ConsoleMessage::kDisplayDepth) {
          std::lock_guard guard(lock_);
          depth_ = m.u32At(4);
          std::snprintf(line, sizeof line, R"({"event":"depth","bits":%)" PRIu32 "}", m.u32At(4));
          changed_.notify_all();
        } else if (subtype == kAltTab || subtype == kCtrlAltDel) {
          std::snprintf(line, sizeof line, R"({"event":"request","name":"%s"})",
                        subtype == kAltTab ? "alt-tab" : "ctrl-alt-del");
          if (options_.desktop) options_.desktop->request(subtype);
        } else {
          std::snprintf(line, sizeof line, R"({"event":"control","subtype":%u,"value":%)" PRIu32 "}", subtype,
                        m.u32At(4));
        }
        log(line);
        break;
      }
      default:
        std::snprintf(line, sizeof line, R"({"event":"unexpected","type":%u})", m.type());
        log(line);
        break;
    }
  }
  std::lock_guard guard(lock_);
  ended_ = true;
  changed_.notify_all();
}

}  // namespace vantrel::cli
