#include "console/console_session.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <thread>
#include <vector>

#include "clipboard/clipboard_text.h"
#include "console/console_log.h"
#include "printable_text.h"
#include "json_text.h"
#include "server/screen_feed.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr std::uint16_t kAcknowledgement = 11;
constexpr std::uint16_t kAltTab = 14;
constexpr std::uint16_t kCtrlAltDel = 15;
constexpr std::uint16_t kSessionEnd = 17;
// No viewer sends a longer clipboard text; a message that says it does ends the session.
constexpr std::size_t kPayloadCapacity = kMaxClipboardSend;
// A clipboard text goes into the input log as its length and its first bytes: whole, a viewer
// that pastes in a loop could fill the console's disk.
constexpr std::size_t kLoggedClipboardBytes = 64;

// Where an update or overlay draws.
ScreenFeed::Rect areaOf(const ConsoleMessage& m) { return {m.u16At(2), m.u16At(4), m.u16At(6), m.u16At(8)}; }

bool overlaps(const ScreenFeed::Rect& a, const ScreenFeed::Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

}  // namespace

void InputLog::write(std::string_view jsonObject) {
  std::lock_guard guard(lock_);
  std::fprintf(file_, "%.*s\n", static_cast<int>(jsonObject.size()), jsonObject.data());
  std::fflush(file_);
}

std::string InputLog::quote(std::string_view text) { return jsonString(text); }

void ConsoleSession::stop(std::string why) {
  std::lock_guard guard(lock_);
  if (!stopping_) stopReason_ = std::move(why);
  stopping_ = true;
  changed_.notify_all();
}

void ConsoleSession::Uptake::look(const std::optional<NetSocket::SendProgress>& progress, Clock::time_point now) {
  nextLook_ = now + lookEvery_;
  waiting_ = progress && progress->queued > 0;
  if (!waiting_ || progress->acknowledged != acknowledged_) lastTaken_ = now;
  if (progress) acknowledged_ = progress->acknowledged;
}

std::string ConsoleSession::run() {
  DesktopPort* desktop = options_.desktop;
  if (desktop) desktop->sessionStarted();
  std::thread reader([this] { readInput(); });
  source_.watchChanges([this] {
    std::lock_guard guard(lock_);
    sourceChanged_ = true;
    changed_.notify_all();
  });
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
    timing_.sending(Clock::now(), options_.clipboardText->size());
    lk.unlock();
    ok = send(clip);
    lk.lock();
    waitingSince = Clock::now();
  }

  // One message in flight at a time: the next goes out when the viewer has acknowledged the
  // last. A frame's messages (its update, and a desktop's clipboard text and pointer) are built
  // in the feed's buffers once the last of the frame before has gone and the picture may have
  // changed (the source said so, or it is due): at once while the link is free, else shortly
  // before the acknowledgement is expected, so that the frame is ready when the link is and
  // shows as late a picture as it can. What changes meanwhile collects in the source for the
  // frame after. The pause and the pacing on the wire stay as they are.
  auto start = Clock::now();
  bool started = false;
  milliseconds due{0};
  bool haveDepth = false;
  bool idle = false, readsNothing = false;
  Uptake uptake(Clock::now(), std::max<Clock::duration>(options_.idleLimit / 8, 100ms));
  FrameMessages pending;
  while (ok && !ended_ && !stopping_) {
    const auto now = Clock::now();
    if (now >= uptake.nextLook()) uptake.look(server_.sendProgress(), now);
    if (now - uptake.lastTaken() >= options_.idleLimit) {
      readsNothing = true;
      break;
    }
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
      const auto looked = Clock::now();
      const auto elapsed = std::chrono::duration_cast<milliseconds>(looked - start);
      if (pending.done() && (sourceChanged_ || elapsed >= due) && (outstanding_ == 0 || looked >= timing_.buildFrom())) {
        sourceChanged_ = false;
        const bool smallFirst = timing_.smallFirstPays();
        lk.unlock();
        pending.clear();
        frameMessages(*feed, elapsed, smallFirst, pending);
        lk.lock();
        timing_.built(Clock::now() - looked);
        if (feed->hasHeldBack()) sourceChanged_ = true;  // what was held back goes with the next
        due = source_.nextChange(elapsed);
        continue;  // a depth change may have come meanwhile
      }
      if (!pending.done() && outstanding_ == 0) {
        outstanding_ = 1;
        const ConsoleMessage* next = pending.next();
        timing_.sending(Clock::now(), wireHeaderLength(next->type()).value_or(0) + wirePayloadLength(*next));
        lk.unlock();
        ok = send(*next);
        lk.lock();
        waitingSince = Clock::now();
        continue;
      }
    }
    // Waiting: for the viewer (its acknowledgement, or its first DisplayDepth), no longer than
    // the idle limit, and for the next picture when one is due (none after a single still one).
    // While messages wait in the send queue, the loop looks again in time to notice soon after
    // the idle limit a viewer that takes nothing off the link.
    auto wakeAt = Clock::time_point::max();
    if (uptake.waiting()) wakeAt = uptake.nextLook();
    if (outstanding_ > 0 || !haveDepth) {
      const auto limit = waitingSince + options_.idleLimit;
      if (now >= limit) {
        idle = true;
        break;
      }
      wakeAt = std::min(wakeAt, limit);
    }
    if (haveDepth && pending.done() && (sourceChanged_ || due != milliseconds::max())) {
      auto pictureAt = sourceChanged_ ? Clock::now() : start + due;
      if (outstanding_ > 0) pictureAt = std::max(pictureAt, timing_.buildFrom());
      wakeAt = std::min(wakeAt, pictureAt);
    }
    if (wakeAt == Clock::time_point::max()) {
      changed_.wait(lk);
    } else {
      changed_.wait_until(lk, wakeAt);
    }
  }
  const bool stopping = stopping_, ended = ended_;
  const std::string stopReason = stopReason_;
  lk.unlock();

  source_.watchChanges(nullptr);
  if (stopping && !ended) send(controlMessage(kSessionEnd));
  server_.interruptSession();
  reader.join();
  if (desktop) desktop->sessionEnded();
  server_.endSession();

  const std::string limit = std::to_string(options_.idleLimit.count()) + " s";
  if (!feed) return "the screen cannot be served";
  if (stopping) return stopReason;
  if (idle) return "the viewer has acknowledged nothing for " + limit;
  if (readsNothing) return "the viewer has read nothing for " + limit + " (its acknowledgements notwithstanding)";
  if (ended) return viewerEnd_;
  return "a send to the viewer failed (it has gone, or has read nothing for " + limit + ")";
}

// The update of the picture `elapsed` into the session (with `smallFirst`, small changes apart
// from a far larger one alone), then the desktop's clipboard text and its pointer drawn over the
// screen: when the pointer moved or changed, or the update painted over the overlay on the
// viewer's window. An update elsewhere leaves the overlay where it is, so that a frame is mostly
// one message, paying the round trip and the pause once.
void ConsoleSession::frameMessages(ScreenFeed& feed, milliseconds elapsed, bool smallFirst, FrameMessages& out) {
  const FrameSource::Frame frame = source_.frameAt(elapsed);
  const ConsoleMessage* update = feed.updateFor(frame.picture.rgb, frame.changed, smallFirst);
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
  const bool overlayPaintedOver = update != nullptr && overlaps(areaOf(*update), overlayArea_);
  if (const OverlayPicture* cursor = desktop->cursorOverlay(frame.picture, overlayPaintedOver)) {
    const PixelRect& a = cursor->area;
    const ConsoleMessage* overlay = feed.overlayFor({a.x, a.y, a.width, a.height}, cursor->rgb);
    if (overlay != nullptr) overlayArea_ = areaOf(*overlay);
    out.add(overlay);
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
          if (outstanding_ > 0) timing_.acknowledged(Clock::now());
          outstanding_ = 0;
          std::snprintf(line, sizeof line, R"({"event":"ack","count":%lld})", ++acknowledged_);
          changed_.notify_all();
        } else if (subtype == ConsoleMessage::kClipboardText) {
          const std::string_view text(reinterpret_cast<const char*>(buffer.data()), m.u32At(4));
          log(R"({"event":"clipboard","text":)" + InputLog::quote(text.substr(0, kLoggedClipboardBytes)) +
              R"(,"length":)" + std::to_string(text.size()) + "}");
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
          // No desktop here has a use for it, yet an administrator wants to know it was asked for.
          if (subtype == kCtrlAltDel) {
            logLine(stdout, Priority::Notice,
                    "viewer '" + printableText(server_.clientUser()) + "' from " + server_.clientAddress() +
                        " pressed Ctrl+Alt+Del; it is not passed on");
          }
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
