#include "support/scripted_peer.h"

#include <algorithm>
#include <array>

#include "net/net_platform.h"
#include "net/net_socket.h"
#include "protocol/byte_io.h"

namespace vantrel::testing {
namespace {

using net::NativeSocket;

constexpr auto kLimitMs = static_cast<std::uint32_t>(ScriptedPeer::kStepLimit.count());

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

NativeSocket connectedTo(std::uint16_t port) {
  NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in to = loopback(port);
  if (s != net::kNoNativeSocket && ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    net::closeNative(s);
    s = net::kNoNativeSocket;
  }
  return s;
}

}  // namespace

ScriptStep ScriptStep::sendU32(std::uint32_t word) {
  std::vector<std::uint8_t> bytes(4);
  storeU32le(bytes.data(), word);
  return send(std::move(bytes));
}

std::vector<ScriptStep> ScriptStep::drip(const std::vector<std::uint8_t>& bytes, std::size_t gap) {
  std::vector<ScriptStep> steps;
  for (const std::uint8_t b : bytes) {
    if (!steps.empty()) steps.push_back(pause(gap));
    steps.push_back(send({b}));
  }
  return steps;
}

std::vector<ScriptStep> loginSteps() {
  return {ScriptStep::sendU32(107), ScriptStep::receive(kLoginBytes), ScriptStep::sendU32(101)};
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::console(std::vector<ScriptStep> script) {
  NetSocket::startup();
  std::unique_ptr<ScriptedPeer> peer(new ScriptedPeer(std::move(script)));
  const NativeSocket listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at = loopback(0);
  socklen_t length = sizeof at;
  if (listener == net::kNoNativeSocket || ::bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
      ::listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    return peer;  // no thread: finish() reports the failure
  }
  peer->port_ = ntohs(at.sin_port);
  peer->thread_ = std::thread([p = peer.get(), listener] { p->play(listener, 0); });
  return peer;
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::viewer(std::uint16_t port, std::vector<ScriptStep> script) {
  NetSocket::startup();
  std::unique_ptr<ScriptedPeer> peer(new ScriptedPeer(std::move(script)));
  peer->thread_ = std::thread([p = peer.get(), port] { p->play(net::kNoNativeSocket, port); });
  return peer;
}

ScriptedPeer::~ScriptedPeer() { finish(); }

bool ScriptedPeer::finish() {
  if (thread_.joinable()) thread_.join();
  return completed_;
}

void ScriptedPeer::play(NativeSocket listener, std::uint16_t connectPort) {
  NativeSocket s = net::kNoNativeSocket;
  if (listener != net::kNoNativeSocket) {
    if (net::waitUntil(listener, net::Readiness::Readable, kLimitMs)) s = ::accept(listener, nullptr, nullptr);
    net::closeNative(listener);
  } else {
    s = connectedTo(connectPort);
  }
  if (s == net::kNoNativeSocket) return;
  net::setTimeoutOption(s, SO_RCVTIMEO, kLimitMs);
  net::setTimeoutOption(s, SO_SNDTIMEO, kLimitMs);
  bool ok = true;
  for (const auto& step : script_) {
    if (!(ok = perform(s, step))) break;
  }
  if (s != net::kNoNativeSocket) net::closeNative(s);
  completed_ = ok;
}

bool ScriptedPeer::perform(NativeSocket& s, const ScriptStep& step) {
  switch (step.kind) {
    case ScriptStep::Kind::Send:
      for (std::size_t sent = 0; sent < step.bytes.size();) {
        const auto r = ::send(s, reinterpret_cast<const char*>(step.bytes.data() + sent),
                              net::ioLength(step.bytes.size() - sent), net::kSendFlags);
        if (r <= 0) return false;
        sent += static_cast<std::size_t>(r);
      }
      return true;
    case ScriptStep::Kind::Receive: return receiveInto(s, step.count);
    case ScriptStep::Kind::ReceiveToEnd:
      for (;;) {
        const std::ptrdiff_t r = receiveChunk(s, 1 << 16);
        if (r <= 0) return r == 0;
      }
    case ScriptStep::Kind::CloseSending: return ::shutdown(s, net::kShutdownSend) == 0;
    case ScriptStep::Kind::Pause:
      std::this_thread::sleep_for(std::chrono::milliseconds(step.count));
      return true;
    case ScriptStep::Kind::Reset: {
      linger abortive{};
      abortive.l_onoff = 1;
      abortive.l_linger = 0;
      setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
      net::closeNative(s);
      s = net::kNoNativeSocket;
      return true;
    }
  }
  return false;
}

bool ScriptedPeer::receiveInto(NativeSocket s, std::size_t count) {
  while (count > 0) {
    const std::ptrdiff_t r = receiveChunk(s, count);
    if (r <= 0) return false;
    count -= static_cast<std::size_t>(r);
  }
  return true;
}

std::ptrdiff_t ScriptedPeer::receiveChunk(NativeSocket s, std::size_t most) {
  std::array<std::uint8_t, 1 << 16> chunk;
  const auto r = ::recv(s, reinterpret_cast<char*>(chunk.data()), net::ioLength(std::min(most, chunk.size())), 0);
  if (r > 0) received_.insert(received_.end(), chunk.begin(), chunk.begin() + r);
  return static_cast<std::ptrdiff_t>(r);
}

}  // namespace vantrel::testing
