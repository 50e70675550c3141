#include "viewer/push_session.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "protocol/login_status.h"

namespace vantrel {

// The session as the display sees it: no window of its own to fit, and a remote size it cannot
// show ends the session as the DLL's does.
class PushSession::Host final : public DisplayHost {
 public:
  explicit Host(PushSession& session) : session_(session) {}
  WindowRef viewerWindow() const override { return nullptr; }
  bool windowedView() const override { return true; }
  void surfaceResized() override {}
  void abortSession() override { session_.phase_ = Phase::ServerEnded; }

 private:
  PushSession& session_;
};

std::unique_ptr<PushSession> PushSession::create(SurfacePort& surface, ClipboardPort& clipboard,
                                                 UserMessages& messages, std::string_view user,
                                                 std::string_view password) {
  std::unique_ptr<std::uint8_t[]> decodeBuffer(new (std::nothrow) std::uint8_t[kViewerDecodeBufferSize]);
  if (!decodeBuffer) {
    messages.showCatalogBox(messages.ownerWindow, "CreateMemFailed");
    return nullptr;
  }
  return std::unique_ptr<PushSession>(new PushSession(surface, clipboard, messages, scrambledCredentials(user, password),
                                                      std::move(decodeBuffer)));
}

PushSession::PushSession(SurfacePort& surface, ClipboardPort& clipboard, UserMessages& messages,
                         CredentialBlocks credentials, std::unique_ptr<std::uint8_t[]> decodeBuffer)
    : clipboard_(clipboard),
      messages_(messages),
      credentials_(credentials),
      decodeBuffer_(std::move(decodeBuffer)),
      host_(std::make_unique<Host>(*this)),
      display_(std::make_unique<DisplayState>(surface, *host_, messages, codec_,
                                              std::span<std::uint8_t>(decodeBuffer_.get(), kViewerDecodeBufferSize))),
      assembler_(kViewerPayloadCapacity) {}

PushSession::~PushSession() = default;

void PushSession::receive(std::span<const std::uint8_t> bytes) {
  if (phase_ == Phase::LoggingIn) bytes = logIn(bytes);
  if (phase_ == Phase::Running) handleMessages(bytes);
}

std::span<std::uint8_t> PushSession::receiveRoom() {
  return phase_ == Phase::Running ? assembler_.payloadRoom() : std::span<std::uint8_t>{};
}

void PushSession::received(std::size_t count) {
  if (phase_ != Phase::Running) return;
  assembler_.took(count);
  handleMessages({});
}

std::span<const std::uint8_t> PushSession::logIn(std::span<const std::uint8_t> bytes) {
  while (phase_ == Phase::LoggingIn && !bytes.empty()) {
    const std::size_t n = std::min(bytes.size(), status_.size() - statusHave_);
    std::memcpy(status_.data() + statusHave_, bytes.data(), n);
    statusHave_ += n;
    bytes = bytes.subspan(n);
    if (statusHave_ < status_.size()) break;
    statusHave_ = 0;
    answerStatus(loadU32le(status_.data()));
  }
  return bytes;
}

void PushSession::answerStatus(std::uint32_t status) {
  lastStatus_ = status;
  if (!credentialsSent_) {
    if (showResponse(messages_, messages_.ownerWindow, firstStatusResponse(status)) != 1) {
      phase_ = Phase::Refused;
      return;
    }
    std::array<std::uint8_t, 4> request{};
    storeU32le(request.data(), kLoginRequest);
    outgoing_.insert(outgoing_.end(), request.begin(), request.end());
    outgoing_.insert(outgoing_.end(), credentials_.user.begin(), credentials_.user.end());
    outgoing_.insert(outgoing_.end(), credentials_.password.begin(), credentials_.password.end());
    credentialsSent_ = true;
    return;
  }
  const int result = showResponse(messages_, messages_.ownerWindow, secondStatusResponse(status));
  if (result != 1) {
    // The third failure's box is the host's to show after the credentials; this shell is the host.
    if (result == static_cast<int>(kStatusThirdFailure)) messages_.showCatalogBox(messages_.ownerWindow, "ThreeTimeFailed");
    phase_ = Phase::Refused;
    return;
  }
  credentials_ = {};
  phase_ = Phase::Running;
  // As the viewer window's creation does: a surface, and its depth for the console.
  const std::uint16_t bitCount = display_->surfaceCreated(true);
  send(controlMessage(ConsoleMessage::kDisplayDepth, bitCount));
}

void PushSession::handleMessages(std::span<const std::uint8_t> bytes) {
  while (phase_ == Phase::Running) {
    switch (assembler_.take(bytes)) {
      case MessageAssembler::Step::NeedMore: return;
      case MessageAssembler::Step::UnknownType: continue;
      case MessageAssembler::Step::NoResponse:
        messages_.showCatalogBox(messages_.ownerWindow, "ServerNoResponse");
        continue;
      case MessageAssembler::Step::Oversized: phase_ = Phase::Failed; return;
      case MessageAssembler::Step::Message: break;
    }
    switch (dispatchMessage(assembler_.message(), assembler_.payload(), *display_, clipboard_)) {
      case Dispatched::ServerEnded:
        messages_.showCatalogBox(messages_.ownerWindow, "ServerCutConnect");
        phase_ = Phase::ServerEnded;
        return;
      case Dispatched::Untrusted: phase_ = Phase::Failed; return;
      case Dispatched::Acknowledge:
        // A screen we cannot show ends the session as the message is handled: no acknowledgement.
        if (phase_ == Phase::Running) send(controlMessage(kAcknowledgeSubtype));
        break;
    }
  }
}

bool PushSession::send(const ConsoleMessage& message) { return appendWireBytes(outgoing_, message); }

bool PushSession::sendKeyEvent(std::uint32_t keysym, bool down) {
  return phase_ == Phase::Running && send(keyEventMessage(keysym, down));
}

bool PushSession::sendSpecialRequest(SpecialRequest request) {
  return phase_ == Phase::Running && send(controlMessage(static_cast<std::uint16_t>(request)));
}

bool PushSession::sendPointer(std::uint16_t x, std::uint16_t y, std::uint8_t buttons) {
  if (phase_ != Phase::Running) return false;
  const Pointer now{x, y, buttons};
  if (lastPointer_ == now) return true;
  lastPointer_ = now;
  return send(pointerEventMessage(x, y, buttons));
}

bool PushSession::sendClipboardText(std::string_view text, std::int32_t limit) {
  if (phase_ != Phase::Running) return false;
  const auto ready = clipboardTextToSend(text, limit);
  if (!ready) return false;
  ConsoleMessage message = controlMessage(ConsoleMessage::kClipboardText, static_cast<std::uint32_t>(ready->size()));
  message.payload = reinterpret_cast<std::uint8_t*>(const_cast<char*>(ready->data()));  // only read
  return send(message);
}

}  // namespace vantrel
