#include "protocol/console_link.h"

#include <algorithm>
#include <cstring>

#include "protocol/credential_cipher.h"
#include "protocol/login_status.h"
#include "protocol/message_framing.h"

namespace vantrel {
namespace {

// A zero-padded credential field; text past `maxLength` (or past an embedded zero) is cut.
template <std::size_t Size>
std::array<std::uint8_t, Size> credentialField(std::string_view text, std::size_t maxLength) {
  std::array<std::uint8_t, Size> field{};
  const std::size_t length = std::min({text.find('\0'), text.size(), maxLength});
  std::memcpy(field.data(), text.data(), length);
  return field;
}

template <std::size_t Size>
std::array<std::uint8_t, Size> scrambled(CredentialCipher& cipher, const std::array<std::uint8_t, Size>& plain) {
  std::array<std::uint8_t, Size> out{};
  cipher.scramble(plain.data(), out.data(), Size);
  return out;
}

}  // namespace

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
  CredentialCipher cipher;
  const auto user = scrambled(cipher, credentialField<kUserFieldSize>(userName, kUserMaxLength));
  const auto secret = scrambled(cipher, credentialField<kPasswordFieldSize>(password, kPasswordMaxLength));
  if (!stream().sendExact(user) || !stream().sendExact(secret)) return 0;
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
  const auto showing = response.raisesShowing ? UserMessages::Showing::Raise : UserMessages::Showing::Leave;
  if (!response.catalogKey.empty()) messages_.showCatalogBox(messages_.ownerWindow, response.catalogKey, showing);
  if (!response.fixedText.empty()) messages_.showText(messages_.ownerWindow, response.fixedText, showing);
  return response.result;
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
