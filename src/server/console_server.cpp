#include "server/console_server.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
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
}

void ConsoleServer::setPorts(std::uint16_t tcpPort, std::uint16_t udpPort) {
  tcpPort_ = tcpPort;
  udpPort_ = udpPort;
}

void ConsoleServer::setLoopbackOnly(bool loopbackOnly) {
  listenAddress_ = loopbackOnly ? NetSocket::resolve("127.0.0.1") : 0;
}

bool ConsoleServer::startListening() {
  const auto listenOn = [this](NetSocket& s, std::uint16_t port) {
    const bool bound = listenIpv6_.empty() ? s.createTcp() && s.bindTo(listenAddress_, port)
                                           : s.createTcp6BoundTo(listenIpv6_, port);
    return bound && s.listen();
  };
  return NetSocket::startup() && listenOn(socket_, tcpPort_) && (!clearPort_ || listenOn(clearSocket_, *clearPort_));
}

std::optional<std::uint16_t> ConsoleServer::listeningPort() const { return socket_.localPort(); }

bool ConsoleServer::runProbeResponder() {
  if (!NetSocket::startup() || !socket_.createUdp() || !socket_.bindTo(listenAddress_, udpPort_)) return false;
  socket_.serveProbes();
  return true;
}

bool ConsoleServer::setProbeRunning(bool flag) { return socket_.setRunning(flag); }

bool ConsoleServer::acceptLogin() {
  lastStatus_ = 0;
  if (!net::computerName()) return false;
  std::unique_ptr<NetSocket> link = socket_.accept();
  if (!link) return false;
  const LoginResult result = login(std::move(link), SessionClaim::Replace);
  lastStatus_ = result.status;
  return result.loggedIn;
}

std::unique_ptr<NetSocket> ConsoleServer::acceptConnection(std::chrono::milliseconds limit) {
  if (!clearSocket_.isOpen()) return socket_.accept(limit);
  const std::array<NetSocket*, 2> listeners = {&socket_, &clearSocket_};
  return NetSocket::acceptFirst(listeners, limit);
}

ConsoleServer::LoginResult ConsoleServer::login(std::unique_ptr<NetSocket> socket, SessionClaim claim) {
  // A client that connects and then says nothing must not hold this thread: every wait of the
  // handshake is bounded, and so is the handshake as a whole.
  const auto begin = SteadyClock::now();
  const auto deadline = begin + std::chrono::milliseconds(loginLimitMs_);
  const auto requestDeadline = std::min(deadline, begin + std::chrono::milliseconds(requestWordLimitMs_));
  std::string address = socket->peerAddress().value_or("");
  auto link = std::make_unique<Link>(Link{std::move(socket), nullptr});
  NetSocket* const raw = link->socket.get();
  {
    std::lock_guard guard(links_);
    pendingLogins_.push_back({raw, std::move(address)});
  }
  raw->setTimeouts(loginLimitMs_);
  const bool clear = clearSocket_.isOpen() && raw->localPort() == clearSocket_.localPort();
  LoginResult result;
  if (secureChannel_ && !clear && !(link->secured = secureChannel_(*raw, requestDeadline))) {
    result.secureChannelFailed = true;
  } else {
    result = handshake(*link, claim, requestDeadline, deadline);
    result.secured = link->secured != nullptr;
  }

  std::lock_guard guard(links_);
  const auto pending = std::find_if(pendingLogins_.begin(), pendingLogins_.end(),
                                    [raw](const PendingLogin& p) { return p.link == raw; });
  result.displaced = pending->displaced;
  pendingLogins_.erase(pending);
  if (!result.loggedIn) {
    raw->close();
    return result;
  }
  // The viewer may be quiet for as long as it likes; one that vanished without a word is
  // noticed all the same.
  raw->setTimeouts(0);
  raw->setSendTimeout(sendLimitMs_);
  raw->setKeepAlive(std::chrono::seconds(kKeepAliveSeconds), std::chrono::seconds(kKeepAliveSeconds / 3));
  activeLink_ = std::move(link);  // an earlier active link, if any, is closed here
  clientUser_ = result.user.value_or("");
  clientAddress_ = raw->peerAddress().value_or("").substr(0, 15);
  return result;
}

std::optional<std::string> ConsoleServer::displaceStalledLogin() {
  std::lock_guard guard(links_);
  std::map<std::string_view, std::size_t> perAddress;
  for (const PendingLogin& p : pendingLogins_) {
    if (!p.displaced) ++perAddress[p.address];
  }
  PendingLogin* chosen = nullptr;
  for (PendingLogin& p : pendingLogins_) {
    if (p.awaitingClient && !p.displaced && (chosen == nullptr || perAddress[p.address] > perAddress[chosen->address])) {
      chosen = &p;
    }
  }
  if (chosen == nullptr) return std::nullopt;
  // Marked dead first, so that a secure channel's read over it stops too.
  chosen->displaced = true;
  chosen->link->markDead();
  chosen->link->shutdownBoth();
  return chosen->address;
}

bool ConsoleServer::credentialsArrived(const NetSocket& link) {
  std::lock_guard guard(links_);
  for (PendingLogin& p : pendingLogins_) {
    if (p.link == &link) {
      p.awaitingClient = false;
      return !p.displaced;
    }
  }
  return false;
}

ConsoleServer::LoginResult ConsoleServer::handshake(Link& link, SessionClaim claim,
                                                    SteadyClock::time_point requestDeadline,
                                                    SteadyClock::time_point deadline) {
  NetSocket& socket = *link.socket;
  ByteStream& stream = link.stream();
  LoginResult result;
  std::string clientKey;
  const auto send = [&](std::uint32_t word) {
    std::array<std::uint8_t, 4> bytes{};
    storeU32le(bytes.data(), word);
    stream.sendExact(bytes);  // a client that is already gone learns nothing either way
    result.status = word;
    if (word == clientLocked || word == thirdFailure) {
      result.lockedForMs = locks_.lockRemaining(clientKey, clock_.tickCount());
    }
  };

  socket.peerMac(clientKey);  // the hardware address, or else the address (an IPv6 one as its /64)
  const std::string peer = socket.peerAddress().value_or("");
  if (const auto word = refusal(socket, peer, clientKey)) {
    send(*word);
    return result;
  }
  send(proceed);

  std::array<std::uint8_t, 4> request{};
  if (!stream.receiveExact(request, requestDeadline) || loadU32le(request.data()) != loginRequest) return result;
  CredentialCipher cipher;
  std::array<std::uint8_t, kUserBlockSize> scrambledUser{};
  std::array<std::uint8_t, kUserBlockSize> user{};
  if (!stream.receiveExact(scrambledUser, deadline)) return result;
  cipher.unscramble(scrambledUser.data(), user.data(), user.size());
  std::array<std::uint8_t, kPasswordBlockSize> scrambledPassword{};
  std::array<std::uint8_t, kPasswordBlockSize> password{};
  if (!stream.receiveExact(scrambledPassword, deadline) || !credentialsArrived(socket)) return result;
  cipher.unscramble(scrambledPassword.data(), password.data(), password.size());

  result.user = blockText(user);
  std::string passwordText = blockText(password);
  const Decision decision = decide(clientKey, *result.user, passwordText, claim);
  std::fill(passwordText.begin(), passwordText.end(), '\0');
  std::fill(password.begin(), password.end(), std::uint8_t{0});
  result.verdict = decision.verdict;
  send(decision.word);
  result.loggedIn = result.status == loginAccepted;
  return result;
}

// The checks run in this order and the first that applies decides; nothing is read first.
std::optional<std::uint32_t> ConsoleServer::refusal(NetSocket& link, const std::string& peer,
                                                    const std::string& clientKey) {
  if (!allowLocal_ && isLocalClient(link, peer, net::computerName().value_or(""))) return localRefused;
  if (userActive_ != 0) return otherUser;
  if (refuseAll_ != 0) return serverRefused;
  if (filterEnabled_ == 1 && !isAddressAllowed(peer)) return addressRefused;
  if (locks_.isLocked(clientKey, clock_.tickCount())) return clientLocked;
  return std::nullopt;
}

// The answer to a whole login. Other logins may have run meanwhile: one may have locked this
// client or taken the session, and neither may be undone by this one.
ConsoleServer::Decision ConsoleServer::decide(const std::string& clientKey, const std::string& user,
                                              const std::string& password, SessionClaim claim) {
  if (locks_.isLocked(clientKey, clock_.tickCount())) return {clientLocked, std::nullopt};
  AccountVerdict verdict = AccountVerdict::Unavailable;
  {
    std::lock_guard guard(accountLock_);
    verdict = checkCredentials(user, password);
  }
  if (verdict != AccountVerdict::Valid) {
    const auto failure = locks_.recordFailure(clientKey, clock_.tickCount());
    return {failure == ClientLockTable::Failure::ThirdFailure ? thirdFailure : loginRejected, verdict};
  }
  std::int32_t free = 0;
  if (claim == SessionClaim::OnlyWhenFree && !userActive_.compare_exchange_strong(free, 1)) return {otherUser, verdict};
  locks_.recordSuccess(clientKey);
  return {loginAccepted, verdict};
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

bool ConsoleServer::receiveFromClient(ConsoleMessage& message, std::size_t payloadCapacity) {
  ByteStream* link = nullptr;
  {
    std::lock_guard guard(links_);
    if (activeLink_) link = &activeLink_->stream();
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

  ByteStream* link = nullptr;
  {
    std::lock_guard guard(links_);
    if (activeLink_) link = &activeLink_->stream();
  }
  if (link == nullptr) return false;
  std::lock_guard guard(sendLock_);
  if (!link->sendExact(std::span(message.header).first(*headerLength))) return false;
  if (type >= ConsoleMessage::kScreenUpdate) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return link->sendExact({message.payload, length});
}

bool ConsoleServer::isLinkAlive() const {
  std::lock_guard guard(links_);
  if (activeLink_) return activeLink_->stream().isAlive();
  if (!pendingLogins_.empty()) return pendingLogins_.front().link->isAlive();
  return true;
}

std::optional<NetSocket::SendProgress> ConsoleServer::sendProgress() const {
  std::lock_guard guard(links_);
  return activeLink_ ? activeLink_->socket->sendProgress() : std::nullopt;
}

bool ConsoleServer::closeAll() {
  socket_.close();
  clearSocket_.close();
  {
    std::lock_guard guard(links_);
    if (activeLink_) {
      activeLink_->stream().markDead();
      activeLink_->socket->close();
    }
  }
  // A pending link belongs to the thread that runs its login: interrupted, it ends that login.
  interruptLogins();
  return true;
}

bool ConsoleServer::endSession() {
  std::unique_ptr<Link> link;
  {
    std::lock_guard guard(links_);
    link = std::move(activeLink_);
  }
  return true;  // the link closes as it goes
}

void ConsoleServer::interrupt() {
  socket_.setRunning(false);
  socket_.shutdownBoth();
  clearSocket_.shutdownBoth();
  interruptSession();
  interruptLogins();
}

void ConsoleServer::interruptSession() {
  std::lock_guard guard(links_);
  if (activeLink_) activeLink_->stream().shutdownBoth();
}

void ConsoleServer::interruptLogins() {
  std::lock_guard guard(links_);
  for (const PendingLogin& p : pendingLogins_) {
    p.link->markDead();  // a login's waits look at it, also where the shutdown does not end them
    p.link->shutdownBoth();
  }
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

AccountVerdict ConsoleServer::checkCredentials(const std::string& user, const std::string& password) {
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
