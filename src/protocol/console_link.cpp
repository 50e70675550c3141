#include "protocol/console_link.h"

#include "protocol/credential_blocks.h"
#include "protocol/login_status.h"
#include "protocol/message_framing.h"

namespace vantrel {

ConsoleLink::ConsoleLink(UserMessages& messages, ConsoleLinkOptions options)
    : messages_(messages), options_(options) {}

int ConsoleLink::connectAndLogin(const std::string& host, std::uint32_t requestCode, std::string_view userName,
                                 std::string_view password) {
  const int first = connectToServer(host);
  if (first != 1) {
    socket_.close();
    return first;
  }
  std::array<std::uint8_t, 4> request{};
  storeU32le(request.data(), requestCode);
  stream().sendExact(request);  // a failure shows in the credential writes that follow
  return requestCode == kLoginRequest ? exchangeCredentials(userName, password) : 1;
}

int ConsoleLink::connectToServer(const std::string& host) {
  loginDeadline_ = std::chrono::steady_clock::now() + options_.loginLimit;
  secured_.reset();
  if (!NetSocket::startup()) return 0;
  const bool connected = options_.anyFamily
                             ? socket_.connectAnyFamily(host, options_.tcpPort, options_.connectLimit)
                             : socket_.createTcp() && socket_.connect(host, options_.tcpPort, options_.connectLimit);
  if (!connected) return 0;
  if (options_.secureChannel && !(secured_ = options_.secureChannel(socket_, host, loginDeadline_))) return 0;
  const auto status = readStatus();
  return status ? answer(firstStatusResponse(*status)) : 0;
}

int ConsoleLink::exchangeCredentials(std::string_view userName, std::string_view password) {
  const CredentialBlocks blocks = scrambledCredentials(userName, password);
  if (!stream().sendExact(blocks.user) || !stream().sendExact(blocks.password)) return 0;
  const auto status = readStatus();
  return status ? answer(secondStatusResponse(*status)) : 0;
}

std::optional<std::uint32_t> ConsoleLink::readStatus() {
  std::array<std::uint8_t, 4> word{};
  if (!stream().receiveExact(word, loginDeadline_)) return std::nullopt;
  lastStatus_ = loadU32le(word.data());
  return lastStatus_;
}

int ConsoleLink::answer(const StatusResponse& response) {
  return showResponse(messages_, messages_.ownerWindow, response);
}

bool ConsoleLink::sendMessage(ConsoleMessage& message) {
  const std::lock_guard lock(sendMutex_);
  return writeMessage(stream(), message);
}

bool ConsoleLink::receiveMessage(ConsoleMessage& message, std::size_t payloadCapacity) {
  switch (readMessage(stream(), message, payloadCapacity)) {
    case ReadOutcome::Message: return true;
    case ReadOutcome::NoResponse: messages_.showCatalogBox(messages_.ownerWindow, "ServerNoResponse"); break;
    case ReadOutcome::Oversized:
      refusedLength_ = wirePayloadLength(message);
      markDead();
      break;
    case ReadOutcome::Failed:
    case ReadOutcome::UnknownType: break;
  }
  return false;
}

bool ConsoleLink::discoverServers() {
  secured_.reset();
  if (!NetSocket::startup() || !socket_.createBroadcastUdp()) return false;
  socket_.discover(options_.udpPort, names_, options_.probeTarget);  // whatever arrived counts
  return true;
}

std::uint32_t ConsoleLink::resolveAddress(const std::string& host) {
  if (!NetSocket::startup()) return 0;
  resolvedAddress_ = NetSocket::resolve(host);
  return resolvedAddress_;
}

}  // namespace vantrel
