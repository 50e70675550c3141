#include "support/probe_responders.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "net/net_platform.h"
#include "net/net_socket.h"

namespace vantrel::testing {

ProbeResponders::ProbeResponders(std::vector<std::string> names) : names_(std::move(names)) {
  NetSocket::startup();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const net::NativeSocket s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (s == net::kNoNativeSocket) return;
    sockets_.push_back(s);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
      return;
    }
    if (i == 0) port_ = ntohs(at.sin_port);
  }
  if (port_ != 0) thread_ = std::thread([this] { answer(); });
}

ProbeResponders::~ProbeResponders() {
  finish();
  for (const auto s : sockets_) net::closeNative(s);
}

std::vector<std::uint8_t> ProbeResponders::finish() {
  if (thread_.joinable()) thread_.join();
  return probe_;
}

void ProbeResponders::answer() {
  const auto limit = static_cast<std::uint32_t>(5000);
  if (!net::waitUntil(sockets_[0], net::Readiness::Readable, limit)) return;
  std::array<std::uint8_t, 512> datagram{};
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const auto got = recvfrom(sockets_[0], reinterpret_cast<char*>(datagram.data()), net::ioLength(datagram.size()), 0,
                            reinterpret_cast<sockaddr*>(&from), &length);
  if (got <= 0) return;
  probe_.assign(datagram.begin(), datagram.begin() + got);
  for (std::size_t i = 0; i < names_.size(); ++i) {
    std::array<char, NetSocket::kProbeSize> reply{};
    std::memcpy(reply.data(), names_[i].data(), std::min(names_[i].size(), reply.size()));
    sendto(sockets_[i], reply.data(), net::ioLength(reply.size()), 0, reinterpret_cast<const sockaddr*>(&from),
           sizeof from);
  }
}

}  // namespace vantrel::testing
