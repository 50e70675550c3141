#include "viewer/client_connection.h"

#include <limits>
#include <new>
#include <system_error>

namespace vantrel {

// The session as the display sees it.
class ClientConnection::Host final : public DisplayHost {
 public:
  explicit Host(ClientConnection& connection) : connection_(connection) {}
  WindowRef viewerWindow() const override { return connection_.ports_.window.viewerWindow(); }
  bool windowedView() const override { return connection_.ports_.window.viewMode() == 2; }
  void surfaceResized() override {
    connection_.ports_.window.fitWindow();
    connection_.ports_.window.postSizeMessage();
  }
  void abortSession() override {
    connection_.sessionAbort = 1;
    connection_.ports_.window.requestSessionEnd();
  }

 private:
  ClientConnection& connection_;
};

std::unique_ptr<ClientConnection> ClientConnection::create(SessionPorts ports, Options options) {
  // A session without its buffers could only fail later and less clearly.
  std::unique_ptr<std::uint8_t[]> receiveBuffer(new (std::nothrow) std::uint8_t[kReceiveBufferSize]);
  std::unique_ptr<std::uint8_t[]> decodeBuffer(new (std::nothrow) std::uint8_t[kDecodeBufferSize]);
  if (!receiveBuffer || !decodeBuffer) {
    ports.messages.showCatalogBox(ports.messages.ownerWindow, "CreateMemFailed");
    return nullptr;
  }
  return std::unique_ptr<ClientConnection>(
      new ClientConnection(ports, options, std::move(receiveBuffer), std::move(decodeBuffer)));
}

ClientConnection::ClientConnection(SessionPorts ports, Options options, std::unique_ptr<std::uint8_t[]> receiveBuffer,
                                   std::unique_ptr<std::uint8_t[]> decodeBuffer)
    : ports_(ports),
      options_(options),
      receiveBuffer_(std::move(receiveBuffer)),
      decodeBuffer_(std::move(decodeBuffer)),
      host_(std::make_unique<Host>(*this)),
      display_(std::make_unique<DisplayState>(ports.surface, *host_, ports.messages, codec_,
                                              std::span<std::uint8_t>(decodeBuffer_.get(), kDecodeBufferSize))) {}

ClientConnection::~ClientConnection() {
  std::this_thread::sleep_for(options_.closingPause);
  stop();
}

bool ClientConnection::start() {
  ports_.window.createViewerWindow(*this);
  try {
    thread_ = std::thread([this] { receiveLoop(); });
  } catch (const std::system_error&) {
    threadEnded_ = true;
    ports_.messages.showCatalogBox(ports_.window.viewerWindow(), "StartSecThreadFaile");
    threadStarted = 0;
    return false;
  }
  threadStarted = 0;
  return true;
}

bool ClientConnection::announceSurface(bool windowCreated) {
  const std::uint16_t bitCount = display_->surfaceCreated(windowCreated);
  if (link == nullptr) return false;
  ConsoleMessage depth = controlMessage(ConsoleMessage::kDisplayDepth, bitCount);
  return link->sendMessage(depth);
}

bool ClientConnection::sendClipboardText(std::string_view text) {
  if (link == nullptr || std::uint64_t{text.size()} > std::numeric_limits<std::uint32_t>::max()) return false;
  ConsoleMessage message = controlMessage(ConsoleMessage::kClipboardText, static_cast<std::uint32_t>(text.size()));
  // The link only reads the payload.
  message.payload = reinterpret_cast<std::uint8_t*>(const_cast<char*>(text.data()));
  return link->sendMessage(message);
}

void ClientConnection::stop() {
  receiveStop = 1;
  if (thread_.joinable()) {
    if (link != nullptr) link->shutdown();
    thread_.join();
  }
}

void ClientConnection::receiveLoop() {
  for (;;) {
    if (receiveStop.load() != 0) break;
    threadStarted = 1;
    ports_.window.updateWindow();
    if (link == nullptr || !link->isAlive() || sessionAbort.load() != 0) {
      receiveStop = 1;
      break;
    }
    dispatchOne();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  threadEnded_ = true;
}

void ClientConnection::dispatchOne() {
  ConsoleMessage message;
  message.payload = receiveBuffer_.get();
  if (!link->receiveMessage(message, kReceiveBufferSize)) return;
  const std::span<const std::uint8_t> payload(receiveBuffer_.get(), wirePayloadLength(message));
  bytesReceived_ += wireHeaderLength(message.type()).value_or(0) + payload.size();
  switch (dispatchMessage(message, payload, *display_, ports_.clipboard)) {
    case Dispatched::ServerEnded: serverCut(); return;
    case Dispatched::Untrusted: link->markDead(); return;  // nothing more it sends is trusted
    case Dispatched::Acknowledge: break;
  }
  sendAck();
}

bool ClientConnection::sendAck() {
  ConsoleMessage ack = controlMessage(kAcknowledgeSubtype);
  if (link != nullptr && link->sendMessage(ack)) {
    ++acknowledgements_;
    return true;
  }
  receiveStop = 1;
  return false;
}

void ClientConnection::serverCut() {
  closedByServer = 1;
  ports_.messages.showCatalogBox(serverCutOwner(), "ServerCutConnect");
  link->markDead();
}

WindowRef ClientConnection::serverCutOwner() const {
  if (ports_.window.parentVisible() || ports_.window.viewMode() == 1) return ports_.window.viewerWindow();
  return ports_.window.parentOfParent();
}

}  // namespace vantrel
