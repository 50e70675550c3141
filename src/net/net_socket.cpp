#include "net/net_socket.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <vector>

#include "net/net_platform.h"
#include "net/send_progress.h"
#include "net/socket_compat.h"

namespace vantrel {
namespace {

using net::NativeSocket;

NativeSocket native(NetSocket::Handle handle) { return static_cast<NativeSocket>(handle); }

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  return a;
}

// The first IPv4 address the system resolver gives for the name.
std::optional<std::uint32_t> lookUp(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  std::optional<std::uint32_t> first;
  if (found->ai_addr != nullptr && found->ai_addrlen >= sizeof(sockaddr_in)) {
    sockaddr_in a{};
    std::memcpy(&a, found->ai_addr, sizeof a);
    first = a.sin_addr.s_addr;
  }
  freeaddrinfo(found);
  return first;
}

// An IPv4 or IPv6 address with its port. An IPv4 peer that reaches an IPv6 socket comes as
// ::ffff:a.b.c.d and is kept as that IPv4 address, the one the allow list, the lock table and the
// protocol's address fields know.
template <typename Query>
std::optional<sockaddr_storage> queryAddress(NativeSocket s, Query query) {
  sockaddr_storage a{};
  socklen_t length = sizeof a;
  if (query(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) return std::nullopt;
  if (a.ss_family == AF_INET) return a;
  if (a.ss_family != AF_INET6) return std::nullopt;
  sockaddr_in6 v6{};
  std::memcpy(&v6, &a, sizeof v6);
  constexpr std::array<std::uint8_t, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::memcmp(v6.sin6_addr.s6_addr, kMapped.data(), kMapped.size()) != 0) return a;
  std::uint32_t v4 = 0;
  std::memcpy(&v4, v6.sin6_addr.s6_addr + kMapped.size(), sizeof v4);
  const sockaddr_in mapped = ipv4(v4, ntohs(v6.sin6_port));
  sockaddr_storage out{};
  std::memcpy(&out, &mapped, sizeof mapped);
  return out;
}

socklen_t lengthOf(const sockaddr_storage& a) {
  return a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

std::optional<sockaddr_in> asIpv4(const std::optional<sockaddr_storage>& a) {
  if (!a || a->ss_family != AF_INET) return std::nullopt;
  sockaddr_in v4{};
  std::memcpy(&v4, &*a, sizeof v4);
  return v4;
}

std::string dotted(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &a.sin_addr, text, sizeof text) == nullptr) return "<unavailable>";
  return text;
}

// Dotted for IPv4, the usual text (::1) for IPv6.
std::string addressText(const std::optional<sockaddr_storage>& a) {
  if (const auto v4 = asIpv4(a)) return dotted(*v4);
  char text[INET6_ADDRSTRLEN] = {};
  sockaddr_in6 v6{};
  if (a) std::memcpy(&v6, &*a, sizeof v6);
  if (!a || inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) == nullptr) return "<unavailable>";
  return text;
}

bool isStream(NativeSocket s) {
  int type = 0;
  socklen_t length = sizeof type;
  return getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0 && type == SOCK_STREAM;
}

bool connectWithin(NativeSocket s, const sockaddr* to, socklen_t toLength, std::chrono::milliseconds limit) {
  if (net::setNonBlocking(s, true) != 0) return false;
  bool connected = ::connect(s, to, toLength) == 0;
  if (!connected && net::lastSocketError() == net::kConnectPending &&
      net::waitUntil(s, net::Readiness::Writable, static_cast<std::uint32_t>(limit.count()))) {
    int error = -1;
    socklen_t length = sizeof error;
    connected = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
  }
  return net::setNonBlocking(s, false) == 0 && connected;
}

// One datagram into `buffer`, or -1 with the error code in `error`. A datagram longer than the
// buffer counts as received (cut to it), and a late "port unreachable" report of an earlier send
// is skipped: neither may end a probe loop that a stranger's datagram can reach.
std::ptrdiff_t receiveDatagram(NativeSocket s, std::span<std::uint8_t> buffer, sockaddr_in& from, int& error) {
  for (;;) {
    socklen_t length = sizeof from;
    const auto got = recvfrom(s, reinterpret_cast<char*>(buffer.data()), net::ioLength(buffer.size()), 0,
                              reinterpret_cast<sockaddr*>(&from), &length);
    if (got >= 0) return static_cast<std::ptrdiff_t>(got);
    error = net::lastSocketError();
    if (error == net::kDatagramTruncated) return static_cast<std::ptrdiff_t>(buffer.size());
    if (error != net::kStaleUnreachable) return -1;
  }
}

// "name,name," into a terminated text buffer, as long as each name, its comma and the
// terminator fit.
class NameList {
 public:
  explicit NameList(std::span<char> out) : out_(out) { out_[0] = '\0'; }
  void append(std::string_view name) {
    if (full_ || name.size() + 2 > out_.size() - used_) {
      full_ = true;
      return;
    }
    std::memcpy(out_.data() + used_, name.data(), name.size());
    used_ += name.size();
    out_[used_++] = ',';
    out_[used_] = '\0';
  }

 private:
  std::span<char> out_;
  std::size_t used_ = 0;
  bool full_ = false;
};

}  // namespace

NetSocket::~NetSocket() { close(); }

bool NetSocket::startup() { return net::startupSockets(); }

bool NetSocket::create(int type, int family) {
  close();
  const NativeSocket s = ::socket(family, type, 0);
  if (s == net::kNoNativeSocket) return false;
  handle_ = static_cast<Handle>(s);
  return true;
}

bool NetSocket::setOption(int level, int option, int value) {
  return setsockopt(native(handle_), level, option, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool NetSocket::createTcp() { return createTcp(AF_INET); }

bool NetSocket::createTcp(int family) {
  return create(SOCK_STREAM, family) && setOption(SOL_SOCKET, SO_REUSEADDR, 1) &&
         setOption(IPPROTO_TCP, TCP_NODELAY, 1);
}

bool NetSocket::createUdp() { return create(SOCK_DGRAM, AF_INET); }

bool NetSocket::createBroadcastUdp() { return createUdp() && setOption(SOL_SOCKET, SO_BROADCAST, 1); }

bool NetSocket::shutdownBoth() {
  if (const Handle h = handle_; h != kNoHandle) ::shutdown(native(h), net::kShutdownBoth);
  return true;
}

bool NetSocket::close() {
  if (const Handle h = handle_.exchange(kNoHandle); h != kNoHandle) {
    ::shutdown(native(h), net::kShutdownBoth);
    net::closeNative(native(h));
  }
  return true;
}

bool NetSocket::bind(std::uint16_t port, bool loopbackOnly) {
  return bindTo(htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY), port);
}

bool NetSocket::bindTo(std::uint32_t address, std::uint16_t port) {
  if (!isOpen()) return false;
  if (port != 0 && !(net::kStreamBindRefusesListeners && isStream(native(handle_)))) {
    // Address reuse would let us bind beside a live listener; a stream connect finds it first.
    // For one address the probe starts from that address, which proves it is ours before the
    // probe sends anything to it. Where the system refuses such a bind itself the probe is left
    // out: the listener would log its connection as a client that gave up.
    NetSocket probe;
    const bool anyAddress = address == htonl(INADDR_ANY);
    if (probe.createTcp() && (anyAddress || probe.bindTo(address, 0)) &&
        probe.connect(anyAddress ? "localhost" : dotted(ipv4(address, port)), port)) {
      return false;
    }
  }
  const sockaddr_in a = ipv4(address, port);
  return ::bind(native(handle_), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool NetSocket::connect(const std::string& host, std::uint16_t port, std::optional<std::chrono::milliseconds> limit) {
  if (!isOpen()) return false;
  std::optional<std::uint32_t> address = inet_addr(host.c_str());
  if (*address == INADDR_NONE || *address == 0) address = lookUp(host);
  if (!address) return false;
  const sockaddr_in to = ipv4(*address, port);
  const auto* raw = reinterpret_cast<const sockaddr*>(&to);
  if (limit) return connectWithin(native(handle_), raw, sizeof to, *limit);
  return ::connect(native(handle_), raw, sizeof to) == 0;
}

bool NetSocket::createTcp6BoundTo(const std::string& literal, std::uint16_t port) {
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_port = htons(port);
  if (inet_pton(AF_INET6, literal.c_str(), &a.sin6_addr) != 1 || !createTcp(AF_INET6)) return false;
  // "::" serves IPv4 viewers as well, where the system has not been told otherwise for good.
  setOption(IPPROTO_IPV6, IPV6_V6ONLY, 0);
  return ::bind(native(handle_), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

bool NetSocket::connectAnyFamily(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool connected = false;
  for (const addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    connected = createTcp(a->ai_family) &&
                connectWithin(native(handle_), a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), left);
  }
  freeaddrinfo(found);
  if (!connected) close();
  return connected;
}

bool NetSocket::listen() { return isOpen() && ::listen(native(handle_), 5) == 0; }

std::unique_ptr<NetSocket> NetSocket::accept(std::optional<std::chrono::milliseconds> limit) {
  if (!isOpen()) return nullptr;
  if (limit && !net::waitUntil(native(handle_), net::Readiness::Readable, static_cast<std::uint32_t>(limit->count()))) {
    return nullptr;
  }
  const NativeSocket s = ::accept(native(handle_), nullptr, nullptr);
  if (s == net::kNoNativeSocket) return nullptr;
  std::unique_ptr<NetSocket> accepted(new (std::nothrow) NetSocket(static_cast<Handle>(s)));
  if (!accepted) {
    ::shutdown(s, net::kShutdownBoth);
    net::closeNative(s);
    return nullptr;
  }
  accepted->setOption(IPPROTO_TCP, TCP_NODELAY, 1);
  return accepted;
}

std::unique_ptr<NetSocket> NetSocket::acceptFirst(std::span<NetSocket* const> listeners,
                                                  std::chrono::milliseconds limit) {
  std::vector<NativeSocket> handles;
  for (const NetSocket* listener : listeners) handles.push_back(native(listener->handle_));
  const auto ready = net::waitUntilAnyReadable(handles, static_cast<std::uint32_t>(limit.count()));
  // A connection reset between the wait and the accept must not leave the accept blocking.
  return ready ? listeners[*ready]->accept(std::chrono::milliseconds(0)) : nullptr;
}

std::optional<std::string> NetSocket::peerAddress() const {
  if (!isOpen()) return std::nullopt;
  return addressText(queryAddress(native(handle_), ::getpeername));
}

std::string clientKeyOf(const std::string& address) {
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
  std::fill(std::begin(v6.s6_addr) + 8, std::end(v6.s6_addr), std::uint8_t{0});
  char text[INET6_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET6, &v6, text, sizeof text) != nullptr ? std::string(text) : address;
}

std::optional<std::string> NetSocket::localAddress() const {
  if (!isOpen()) return std::nullopt;
  return addressText(queryAddress(native(handle_), ::getsockname));
}

std::optional<std::uint16_t> NetSocket::localPort() const {
  if (!isOpen()) return std::nullopt;
  const auto a = queryAddress(native(handle_), ::getsockname);
  if (!a) return std::nullopt;
  // The port sits at the same place in both families' records.
  sockaddr_in v4{};
  std::memcpy(&v4, &*a, sizeof v4);
  return ntohs(v4.sin_port);
}

std::optional<std::string> NetSocket::peerHostName() const {
  if (!isOpen()) return std::nullopt;
  const auto a = queryAddress(native(handle_), ::getpeername);
  char name[NI_MAXHOST] = {};
  if (!a || getnameinfo(reinterpret_cast<const sockaddr*>(&*a), lengthOf(*a), name, sizeof name, nullptr, 0,
                        NI_NAMEREQD) != 0) {
    return std::nullopt;
  }
  return std::string(name);
}

bool NetSocket::peerMac(std::string& out) const {
  if (!isOpen()) return false;
  const auto a = queryAddress(native(handle_), ::getpeername);
  out = clientKeyOf(addressText(a));
  const auto v4 = asIpv4(a);  // the neighbour table asked here holds IPv4 neighbours
  const auto hardware = v4 ? net::neighbourHardwareAddress(v4->sin_addr.s_addr) : std::nullopt;
  if (!hardware) return false;
  char text[18] = {};
  const auto& b = *hardware;
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
  out = text;
  return true;
}

std::size_t NetSocket::sendAll(std::span<const std::uint8_t> data) {
  if (!isOpen()) return 0;
  std::size_t sent = 0;
  while (sent < data.size()) {
    const auto r = ::send(native(handle_), reinterpret_cast<const char*>(data.data() + sent),
                          net::ioLength(data.size() - sent), net::kSendFlags);
    if (r <= 0) {  // a blocking send that moves nothing will not move anything later either
      alive_ = false;
      return 0;
    }
    sent += static_cast<std::size_t>(r);
  }
  return sent;
}

bool NetSocket::sendExact(std::span<const std::uint8_t> data) { return sendAll(data) == data.size(); }

std::ptrdiff_t NetSocket::receive(std::span<std::uint8_t> buffer) {
  if (!isOpen()) return 0;
  return static_cast<std::ptrdiff_t>(
      ::recv(native(handle_), reinterpret_cast<char*>(buffer.data()), net::ioLength(buffer.size()), 0));
}

bool NetSocket::receiveExact(std::span<std::uint8_t> buffer) {
  while (!buffer.empty()) {
    // A peer that has closed will never send the rest: its end is as final as a reset.
    const std::ptrdiff_t r = receive(buffer);
    if (r <= 0) {
      alive_ = false;
      return false;
    }
    buffer = buffer.subspan(static_cast<std::size_t>(r));
  }
  return true;
}

bool NetSocket::receiveExact(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline) {
  while (!buffer.empty()) {
    const std::ptrdiff_t r = receiveSome(buffer, deadline);
    if (r <= 0) break;
    buffer = buffer.subspan(static_cast<std::size_t>(r));
  }
  if (!buffer.empty()) alive_ = false;
  return buffer.empty();
}

std::ptrdiff_t NetSocket::receiveSome(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline) {
  // The wait goes in short slices, so that another thread that marks the connection dead ends
  // it soon on Winsock too, where shutting the socket down does not end a wait for it.
  constexpr std::chrono::milliseconds kSlice{100};
  while (alive_ && isOpen()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const auto wait = std::min(left, kSlice);
    if (net::waitUntil(native(handle_), net::Readiness::Readable, static_cast<std::uint32_t>(wait.count()))) {
      return receive(buffer);
    }
  }
  return -1;
}

std::uint32_t NetSocket::resolve(const std::string& host) {
  const std::uint32_t address = inet_addr(host.c_str());
  if (address != INADDR_NONE) return address;
  if (host.find(':') != std::string::npos) return 0;  // an IPv6 address, which has no IPv4 one
  return lookUp(host).value_or(0);
}

bool NetSocket::setTimeouts(std::uint32_t milliseconds) {
  return isOpen() && net::setTimeoutOption(native(handle_), SO_RCVTIMEO, milliseconds) == 0 &&
         setSendTimeout(milliseconds);
}

bool NetSocket::setSendTimeout(std::uint32_t milliseconds) {
  return isOpen() && net::setTimeoutOption(native(handle_), SO_SNDTIMEO, milliseconds) == 0;
}

bool NetSocket::setKeepAlive(std::chrono::seconds idle, std::chrono::seconds interval) {
  return isOpen() && net::setKeepAlive(native(handle_), static_cast<std::uint32_t>(idle.count()),
                                       static_cast<std::uint32_t>(interval.count()));
}

bool NetSocket::queryAdapters() const { return net::singleAdapterListed(); }

std::optional<NetSocket::SendProgress> NetSocket::sendProgress() const {
  if (!isOpen()) return std::nullopt;
  return net::sendProgress(handle_);
}

bool NetSocket::discover(std::uint16_t port, std::span<char> out, std::uint32_t target) {
  if (!isOpen() || out.empty()) return false;
  NameList names(out);
  return discover(port, [&names](std::string_view name, std::uint32_t) { names.append(name); }, target);
}

bool NetSocket::discover(std::uint16_t port, const ProbeAnswer& answer, std::uint32_t target) {
  if (!isOpen()) return false;
  std::array<std::uint8_t, kProbeSize> probe{};
  std::memcpy(probe.data(), kProbeText, std::strlen(kProbeText));
  const sockaddr_in to = ipv4(target, port);
  if (sendto(native(handle_), reinterpret_cast<const char*>(probe.data()), net::ioLength(probe.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to) != static_cast<int>(probe.size())) {
    return false;
  }
  if (net::setNonBlocking(native(handle_), true) != 0) return false;

  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(kProbeWindowMs);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    std::array<std::uint8_t, kProbeSize> reply{};
    sockaddr_in from{};
    int error = 0;
    const std::ptrdiff_t got = receiveDatagram(native(handle_), reply, from, error);
    if (got >= 0) {
      const std::string_view text(reinterpret_cast<const char*>(reply.data()), static_cast<std::size_t>(got));
      answer(text.substr(0, text.find('\0')), from.sin_addr.s_addr);
    } else if (error == net::kWouldBlock) {
      // Sleep until a reply arrives instead of spinning through the rest of the second.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
      net::waitUntil(native(handle_), net::Readiness::Readable, static_cast<std::uint32_t>(left));
    } else {
      return false;
    }
  }
  return true;
}

bool NetSocket::serveProbes() {
  if (!isOpen()) return false;
  const auto name = net::computerName();
  if (!name) return false;
  std::array<std::uint8_t, kProbeSize> reply{};
  std::memcpy(reply.data(), name->data(), std::min(name->size(), kProbeSize - 1));
  while (running_) {
    std::array<std::uint8_t, kProbeSize> datagram{};
    sockaddr_in from{};
    int error = 0;
    if (receiveDatagram(native(handle_), datagram, from, error) < 0) return false;
    if (sendto(native(handle_), reinterpret_cast<const char*>(reply.data()), net::ioLength(reply.size()), 0,
               reinterpret_cast<const sockaddr*>(&from), sizeof from) != static_cast<int>(reply.size())) {
      return false;
    }
  }
  return true;
}

bool NetSocket::setRunning(bool flag) {
  running_ = flag;
  return true;
}

}  // namespace vantrel
