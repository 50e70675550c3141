#include "server/console_server.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "net/net_platform.h"
#include "protocol/byte_io.h"
#include "protocol/credential_cipher.h"
#include "protocol/message_framing.h"
#include "server/address_filter.h"

namespace vantrel {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::uint64_t steadyMillis() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
}

class SystemTickClock final : public TickClock {
 public:
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(steadyMillis()); }
};

// A deciphered block read as a terminated text; a block without a terminator ends at its size.
std::string blockText(std::span<const std::uint8_t> block) {
  const auto* text = reinterpret_cast<const char*>(block.data());
  const auto* end = static_cast<const char*>(std::memchr(text, '\0', block.size()));
  return std::string(text, end == nullptr ? block.size() : static_cast<std::size_t>(end - text));
}

}  // namespace

TickClock& systemTickClock() {
  static SystemTickClock clock;
  return clock;
}

ConsoleServer::ConsoleServer(AccountChecks& accounts, ClientLockTable& locks, TickClock& clock)
    : accounts_(accounts), locks_(locks), clock_(clock) {}

ConsoleServer::~ConsoleServer() {
  socket_.close();
  std::lock_guard guard(links_);
  activeLink_.reset();
  pendingLink_.reset();
}

void ConsoleServer::setPorts(std::uint16_t tcpPort, std::uint16_t udpPort) {
  tcpPort_ = tcpPort;
  udpPort_ = udpPort;
}

bool ConsoleServer::startListening() {
  return NetSocket::startup() && socket_.createTcp() && socket_.bind(tcpPort_, loopbackOnly_) && socket_.listen();
}

std::optional<std::uint16_t> ConsoleServer::listeningPort() const { return socket_.localPort(); }

bool ConsoleServer::runProbeResponder() {
  if (!NetSocket::startup() || !socket_.createUdp() || !socket_.bind(udpPort_, loopbackOnly_)) return false;
  socket_.serveProbes();
  return true;
}

bool ConsoleServer::setProbeRunning(bool flag) { return socket_.setRunning(flag); }

bool ConsoleServer::acceptLogin() {
  lastStatus_ = 0;
  const auto computerName = net::computerName();
  if (!computerName) return false;

  std::unique_ptr<NetSocket> accepted = socket_.accept();
  if (!accepted) return false;
  NetSocket* link = accepted.get();
  {
    std::lock_guard guard(links_);
    pendingLink_ = std::move(accepted);
  }
  // A client that connects and then says nothing must not hold this thread: every wait of the
  // handshake is bounded, and so is the handshake as a whole (see receiveWithin).
  link->setTimeouts(pendingLimitMs_);

  const Outcome outcome = handshake(*link, *computerName);
  if (outcome != Outcome::LoggedIn) {
    dropPending();
    return false;
  }
  link->setTimeouts(0);  // the session that follows may be idle for as long as it likes
  std::lock_guard guard(links_);
  activeLink_ = std::move(pendingLink_);  // an earlier active link, if any, is closed here
  clientUser_ = pendingUser_;
  clientAddress_ = activeLink_->peerAddress().value_or("").substr(0, 15);
  return true;
}

ConsoleServer::Outcome ConsoleServer::handshake(NetSocket& link, const std::string& computerName) {
  const std::uint64_t deadline = steadyMillis() + pendingLimitMs_;
  std::string clientKey;
  link.peerMac(clientKey);  // the hardware address, or else the dotted address
  const std::string peer = link.peerAddress().value_or("");

  // The checks run in this order and the first that applies decides; nothing is read first.
  if (!allowLocal_ && isLocalClient(link, peer, computerName)) {
    sendStatus(link, localRefused);
    return Outcome::Refused;
  }
  if (userActive_ != 0) {
    sendStatus(link, otherUser);
    return Outcome::Refused;
  }
  if (refuseAll_ != 0) {
    sendStatus(link, serverRefused);
    return Outcome::Refused;
  }
  if (filterEnabled_ == 1 && !isAddressAllowed(peer)) {
    sendStatus(link, addressRefused);
    return Outcome::Refused;
  }
  lockIndex_ = locks_.find(clientKey);
  if (locks_.isLocked(lockIndex_, clock_.tickCount())) {
    sendStatus(link, clientLocked);
    return Outcome::Refused;
  }
  sendStatus(link, proceed);

  std::array<std::uint8_t, 4> request{};
  if (!receiveWithin(link, request.data(), request.size(), deadline) || loadU32le(request.data()) != loginRequest) {
    return Outcome::Dropped;
  }
  CredentialCipher cipher;
  std::array<std::uint8_t, kUserBlockSize> scrambledUser{};
  std::array<std::uint8_t, kUserBlockSize> user{};
  if (!receiveWithin(link, scrambledUser.data(), scrambledUser.size(), deadline)) return Outcome::Dropped;
  cipher.unscramble(scrambledUser.data(), user.data(), user.size());
  std::array<std::uint8_t, kPasswordBlockSize> scrambledPassword{};
  std::array<std::uint8_t, kPasswordBlockSize> password{};
  if (!receiveWithin(link, scrambledPassword.data(), scrambledPassword.size(), deadline)) return Outcome::Dropped;
  cipher.unscramble(scrambledPassword.data(), password.data(), password.size());

  const std::string userText = blockText(user);
  std::string passwordText = blockText(password);
  const bool valid = checkCredentials(userText, passwordText);
  std::fill(passwordText.begin(), passwordText.end(), '\0');
  std::fill(password.begin(), password.end(), std::uint8_t{0});

  if (valid) {
    sendStatus(link, loginAccepted);
    locks_.recordSuccess(lockIndex_);
    pendingUser_ = userText;
    return Outcome::LoggedIn;
  }
  const auto failure = locks_.recordFailure(lockIndex_, clientKey, clock_.tickCount());
  sendStatus(link, failure == ClientLockTable::Failure::ThirdFailure ? thirdFailure : loginRejected);
  return Outcome::Failed;
}

bool ConsoleServer::isLocalClient(NetSocket& link, const std::string& peer, const std::string& computerName) const {
  const std::uint32_t peerAddress = NetSocket::resolve(peer);
  if (peerAddress == NetSocket::resolve("localhost") || peerAddress == NetSocket::resolve(computerName)) return true;
  // The name lookups miss the rest of the loopback network and this machine's other
  // addresses; a client that reaches us on the very address it comes from is local too.
  if ((vantrel::parseAddress(peer) >> 24) == 127) return true;
  const auto local = link.localAddress();
  return local && *local == peer;
}

// Reads exactly `size` bytes, giving up when the deadline passes however the peer paces them.
bool ConsoleServer::receiveWithin(NetSocket& link, std::uint8_t* data, std::size_t size, std::uint64_t deadline) {
  std::size_t got = 0;
  while (got < size) {
    const std::uint64_t now = steadyMillis();
    if (now >= deadline) return false;
    link.setTimeouts(static_cast<std::uint32_t>(std::max<std::uint64_t>(deadline - now, 1)));
    const std::ptrdiff_t r = link.receive({data + got, size - got});
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

void ConsoleServer::sendStatus(NetSocket& link, std::uint32_t word) {
  std::array<std::uint8_t, 4> bytes{};
  storeU32le(bytes.data(), word);
  link.sendExact(bytes);  // a client that is already gone learns nothing either way
  lastStatus_ = word;
}

void ConsoleServer::dropPending() {
  std::unique_ptr<NetSocket> link;
  {
    std::lock_guard guard(links_);
    link = std::move(pendingLink_);
  }
  if (link) link->close();
}

bool ConsoleServer::receiveFromClient(ConsoleMessage& message, std::size_t payloadCapacity) {
  NetSocket* link = nullptr;
  {
    std::lock_guard guard(links_);
    link = activeLink_.get();
  }
  if (link == nullptr) return false;
  const ReadOutcome outcome = readMessage(*link, message, payloadCapacity);
  if (outcome == ReadOutcome::Failed || outcome == ReadOutcome::Oversized) {
    // Either the stream position is lost or the peer has gone: the session cannot go on.
    link->markDead();
    return false;
  }
  // Type 116 is the console's own word; from a viewer it is as unknown as any other.
  return outcome == ReadOutcome::Message;
}

bool ConsoleServer::sendToClient(const ConsoleMessage& original) {
  ConsoleMessage message = original;
  const std::uint8_t type = message.type();
  const auto headerLength = wireHeaderLength(type);
  if (type < ConsoleMessage::kKeyEvent || type > ConsoleMessage::kScreenFormat || !headerLength) return false;
  if (type == ConsoleMessage::kControl && message.u16At(2) != ConsoleMessage::kClipboardText) message.setU32At(4, 0);
  if (type >= ConsoleMessage::kControl) message.setFlag(0);
  const std::size_t length = wirePayloadLength(message);
  if (length > 0 && message.payload == nullptr) return false;

  NetSocket* link = nullptr;
  {
    std::lock_guard guard(links_);
    link = activeLink_.get();
  }
  if (link == nullptr) return false;
  std::lock_guard guard(sendLock_);
  if (!link->sendExact(std::span(message.header).first(*headerLength))) return false;
  if (type >= ConsoleMessage::kScreenUpdate) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return link->sendExact({message.payload, length});
}

bool ConsoleServer::isLinkAlive() const {
  std::lock_guard guard(links_);
  if (activeLink_) return activeLink_->isAlive();
  if (pendingLink_) return pendingLink_->isAlive();
  return true;
}

bool ConsoleServer::closeAll() {
  socket_.close();
  std::lock_guard guard(links_);
  if (activeLink_) activeLink_->close();
  if (pendingLink_) pendingLink_->close();
  return true;
}

bool ConsoleServer::endSession() {
  std::unique_ptr<NetSocket> link;
  {
    std::lock_guard guard(links_);
    link = std::move(activeLink_);
  }
  if (link) link->close();
  return true;
}

void ConsoleServer::interrupt() {
  socket_.setRunning(false);
  socket_.shutdownBoth();
  std::lock_guard guard(links_);
  if (activeLink_) activeLink_->shutdownBoth();
  if (pendingLink_) pendingLink_->shutdownBoth();
}

void ConsoleServer::interruptSession() {
  std::lock_guard guard(links_);
  if (activeLink_) activeLink_->shutdownBoth();
}

bool ConsoleServer::setAddressFilter(std::int32_t enabled, std::string_view text) {
  std::lock_guard guard(filter_);
  filterEnabled_ = enabled;
  filterText_.assign(text.substr(0, kFilterCapacity - 1));
  return true;
}

bool ConsoleServer::setRefuseAll(std::int32_t flag) {
  refuseAll_ = flag;
  return true;
}

bool ConsoleServer::setUserActive(std::int32_t flag) {
  userActive_ = flag;
  return true;
}

bool ConsoleServer::isAddressAllowed(std::string_view address) {
  std::lock_guard guard(filter_);
  return vantrel::isAddressAllowed(filterText_, address);
}

std::uint32_t ConsoleServer::parseAddress(std::string_view text) { return vantrel::parseAddress(text); }

bool ConsoleServer::checkCredentials(const std::string& user, const std::string& password) {
  return accounts_.verifyAccountPassword(user, password);
}

std::string ConsoleServer::clientAddress() const {
  std::lock_guard guard(links_);
  return clientAddress_;
}

std::string ConsoleServer::clientUser() const {
  std::lock_guard guard(links_);
  return clientUser_;
}

}  // namespace vantrel
