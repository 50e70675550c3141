#include "console_session.h"

#include <chrono>
#include <cinttypes>
#include <deque>
#include <thread>
#include <vector>

#include "clipboard/clipboard_text.h"
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

OutgoingMessage controlMessage(std::uint16_t subtype) {
  OutgoingMessage m;
  m.record.setType(ConsoleMessage::kControl);
  m.record.setU16At(2, subtype);
  return m;
}

}  // namespace

void InputLog::write(const std::string& jsonObject) {
  std::lock_guard guard(lock_);
  std::fprintf(file_, "%s\n", jsonObject.c_str());
  std::fflush(file_);
}

std::string InputLog::quote(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

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
  const auto send = [this](OutgoingMessage& m) {
    m.record.payload = m.payload.empty() ? nullptr : m.payload.data();
    return server_.sendToClient(m.record);
  };

  std::unique_lock lk(lock_);
  // Since when the console has been waiting on the viewer, when it is.
  auto waitingSince = Clock::now();
  bool ok = feed.has_value();
  if (ok && options_.clipboardText) {
    OutgoingMessage clip = controlMessage(ConsoleMessage::kClipboardText);
    clip.payload.assign(options_.clipboardText->begin(), options_.clipboardText->end());
    clip.record.setU32At(4, static_cast<std::uint32_t>(clip.payload.size()));
    outstanding_ = 1;
    lk.unlock();
    ok = send(clip);
    lk.lock();
    waitingSince = Clock::now();
  }

  // One message in flight at a time: the next goes out when the viewer has acknowledged the last.
  auto start = Clock::now();
  bool started = false;
  milliseconds due{0};
  bool haveDepth = false;
  bool wholeDue = false;  // a ScreenFormat went out: the next frame goes whole
  bool idle = false;
  std::deque<OutgoingMessage> queue;
  while (ok && !ended_ && !stopping_) {
    if (depth_ && outstanding_ == 0) {
      feed->setViewerDepth(*depth_);
      depth_.reset();
      haveDepth = true;
      queue.clear();
    }
    if (outstanding_ > 0 || !haveDepth) {
      const auto limit = waitingSince + options_.idleLimit;
      if (Clock::now() >= limit) {
        idle = true;
        break;
      }
      changed_.wait_until(lk, limit);
      continue;
    }
    OutgoingMessage next;
    if (feed->needsFormat()) {
      next = feed->formatMessage();
      wholeDue = true;
      due = milliseconds(0);
      if (!started) start = Clock::now();  // the pictures start when the viewer can see them
      started = true;
    } else if (!queue.empty()) {
      next = std::move(queue.front());
      queue.pop_front();
    } else {
      const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
      if (elapsed < due) {
        if (due == milliseconds::max()) {
          changed_.wait(lk);  // a single still picture: nothing more to send
        } else {
          changed_.wait_until(lk, start + due);
        }
        continue;
      }
      lk.unlock();
      const RgbImage& frame = source_.frameAt(elapsed);
      // An unchanged picture is not compared again: an idle desktop costs next to nothing.
      std::vector<OutgoingMessage> updates;
      if (wholeDue || source_.lastFrameChanged()) updates = feed->updatesFor(frame.rgb);
      wholeDue = false;
      if (desktop) desktopNews(*desktop, *feed, frame, !updates.empty(), updates);
      lk.lock();
      due = source_.nextChange(elapsed);
      for (auto& u : updates) queue.push_back(std::move(u));
      continue;
    }
    outstanding_ = 1;
    lk.unlock();
    ok = send(next);
    lk.lock();
    waitingSince = Clock::now();
  }
  const bool stopping = stopping_, ended = ended_;
  lk.unlock();

  if (stopping && !ended) {
    OutgoingMessage end = controlMessage(kSessionEnd);
    send(end);
  }
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

// The desktop's clipboard text, and its pointer drawn over the screen after the updates (which
// paint over an overlay on the viewer's window).
void ConsoleSession::desktopNews(DesktopPort& desktop, ScreenFeed& feed, const RgbImage& frame, bool redraw,
                                 std::vector<OutgoingMessage>& out) {
  if (const auto text = desktop.takeClipboardForViewer()) {
    OutgoingMessage clip = controlMessage(ConsoleMessage::kClipboardText);
    clip.payload.assign(text->begin(), text->end());
    clip.record.setU32At(4, static_cast<std::uint32_t>(clip.payload.size()));
    out.push_back(std::move(clip));
  }
  if (const auto cursor = desktop.cursorOverlay(frame, redraw)) {
    const PixelRect& a = cursor->area;
    if (auto overlay = feed.overlayFor({a.x, a.y, a.width, a.height}, cursor->rgb)) out.push_back(std::move(*overlay));
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
