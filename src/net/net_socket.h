#pragma once
// The one class through which the library touches the network: one IPv4 stream or datagram
// socket (IPv6 streams for the tool), byte-exact send and receive loops, and both halves of the
// LAN probe. Operations
// report 1/0 (true/false) and never throw; without an open socket they make no system call.
// A stream socket is also the plain ByteStream of a connection.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "net/byte_stream.h"

namespace vantrel {

class NetSocket : public ByteStream {
 public:
  // Wide enough for a Winsock SOCKET on 64-bit Windows; -1 is "no socket" on both systems.
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;

  static constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFF;
  static constexpr std::size_t kProbeSize = 32;
  static constexpr const char* kProbeText = "console";
  static constexpr std::uint32_t kProbeWindowMs = 1000;

  NetSocket() = default;
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;
  ~NetSocket() override;

  // Starts the system's socket library (Winsock 2.0); needed before every creation.
  static bool startup();

  bool createTcp();
  bool createUdp();
  bool createBroadcastUdp();
  bool shutdownBoth() override;
  bool close();

  // Refuses (false, nothing bound) a non-zero port on which something local accepts streams.
  bool bind(std::uint16_t port, bool loopbackOnly);
  // The same for one IPv4 address in network order (0: every address). An address that is not
  // this machine's is refused without a byte sent to it.
  bool bindTo(std::uint32_t address, std::uint16_t port);
  // A dotted address, or else the first IPv4 address of the name. Without `limit` the connect
  // blocks for as long as the system lets it.
  bool connect(const std::string& host, std::uint16_t port,
               std::optional<std::chrono::milliseconds> limit = std::nullopt);
  bool listen();
  // The tool's IPv6, beside the library's IPv4. A new stream socket bound to an IPv6 literal
  // ("::" also takes IPv4 peers where the system allows); false for anything else.
  bool createTcp6BoundTo(const std::string& literal, std::uint16_t port);
  // A new stream socket connected to the first of the name's addresses, IPv6 or IPv4, that
  // answers, each tried in turn within what is left of `limit`.
  bool connectAnyFamily(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit);
  // Without `limit` the accept blocks until a connection comes; with it, nothing comes back
  // when none arrived in time.
  std::unique_ptr<NetSocket> accept(std::optional<std::chrono::milliseconds> limit = std::nullopt);
  // The next connection on whichever listener has one first, waiting at most `limit`.
  static std::unique_ptr<NetSocket> acceptFirst(std::span<NetSocket* const> listeners, std::chrono::milliseconds limit);

  // Dotted for IPv4 (also an IPv4 peer of an IPv6 socket), "::1" and the like for IPv6.
  std::optional<std::string> peerAddress() const;
  std::optional<std::string> localAddress() const;
  std::optional<std::uint16_t> localPort() const;
  std::optional<std::string> peerHostName() const;
  // Writes the peer's hardware address (00-0C-29-3A-4B-5C) and returns true; when it cannot be
  // learnt, writes the peer's key instead and returns false. Untouched without a socket.
  bool peerMac(std::string& out) const;

  // Bytes sent: all of them, or 0 when a send call failed (which also clears `alive`).
  std::size_t sendAll(std::span<const std::uint8_t> data);
  bool sendExact(std::span<const std::uint8_t> data) override;
  // One receive call: the count, 0 when the peer closed (or there is no socket), -1 on error.
  std::ptrdiff_t receive(std::span<std::uint8_t> buffer);
  // False when the peer closed, on an error or on a time-out; each of them clears `alive`, since
  // the stream cannot go on after any of them.
  bool receiveExact(std::span<std::uint8_t> buffer) override;
  // The same, given up (and `alive` cleared) once `deadline` has passed, however the peer paces
  // its bytes, or soon after another thread has marked the connection dead.
  bool receiveExact(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline) override;
  // One receive into a buffer that is not empty, waiting for bytes until `deadline`: the count,
  // 0 when the peer closed, -1 on an error, at the deadline or soon after another thread has
  // marked the connection dead. Leaves `alive` as it is.
  std::ptrdiff_t receiveSome(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline);

  // An IPv4 address in network order, 0 when there is none (an IPv6 address has none). Dotted
  // text is taken as it is.
  static std::uint32_t resolve(const std::string& host);
  // Bounds every later receive and send wait; 0 waits without a bound.
  bool setTimeouts(std::uint32_t milliseconds);
  // The same for sends alone.
  bool setSendTimeout(std::uint32_t milliseconds);
  // Has the system probe a connection that has been quiet for `idle`, every `interval`, so that a
  // peer that vanished without a word is noticed as a failed receive or send.
  bool setKeepAlive(std::chrono::seconds idle, std::chrono::seconds interval);
  bool queryAdapters() const;

  // How far a stream's peer keeps up: the bytes its system has acknowledged so far, and the
  // bytes that wait in this side's send queue (sent and not acknowledged, or not sent yet).
  struct SendProgress {
    std::uint64_t acknowledged = 0;
    std::uint64_t queued = 0;
  };
  // Nothing where the system does not tell (Windows).
  std::optional<SendProgress> sendProgress() const;

  // Sends one probe to `target`:`port` and collects the names that answer within a second into
  // `out` as "name,name," (always terminated). Names that would not fit are left out.
  bool discover(std::uint16_t port, std::span<char> out, std::uint32_t target = kBroadcastAddress);
  // The same, handing each answer over as it comes: the name (up to its terminator) and the
  // sender's address in network order.
  using ProbeAnswer = std::function<void(std::string_view name, std::uint32_t from)>;
  bool discover(std::uint16_t port, const ProbeAnswer& answer, std::uint32_t target = kBroadcastAddress);
  // Answers every datagram with this computer's name until `running` is cleared.
  bool serveProbes();
  bool setRunning(bool flag);

  bool isAlive() const override { return alive_; }
  void markDead() override { alive_ = false; }
  bool isOpen() const { return handle_ != kNoHandle; }

 private:
  explicit NetSocket(Handle accepted) : handle_(accepted) {}
  bool create(int type, int family);
  bool createTcp(int family);
  bool setOption(int level, int option, int value);

  std::atomic<bool> alive_{true};
  // Atomic because shutdownBoth may come from another thread than the one that made the socket
  // (a console stopping its probe responder, say).
  std::atomic<Handle> handle_{kNoHandle};
  std::atomic<bool> running_{true};
};

// The client an address counts as: an IPv4 address is one; an IPv6 address counts as the /64
// it lies in ("2001:db8:1:2::"), since one host may take any address of its /64 at will and
// would otherwise meet no lockout and no per-address limit. Text that is no address stays as it is.
std::string clientKeyOf(const std::string& address);

}  // namespace vantrel
