#pragma once
// The viewer's end of the console protocol: the TCP connection, the two-stage login with its
// user-facing boxes, the message traffic that follows on the same connection, and the LAN
// probe. Both the window thread and the receive thread send on one link; a message is always
// written whole before another one starts.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/user_messages.h"
#include "net/byte_stream.h"
#include "net/net_socket.h"
#include "protocol/console_message.h"
#include "protocol/login_status.h"

namespace vantrel {

struct ConsoleLinkOptions {
  std::uint16_t tcpPort = 25000;
  std::uint16_t udpPort = 25001;
  std::uint32_t probeTarget = NetSocket::kBroadcastAddress;  // network order
  // A server that accepts and then says nothing, or drips its words a byte at a time, must not
  // hold the host's window thread for ever: the connect is bounded, and so is the login as a
  // whole, from the connect to the second status word. Messages are not.
  std::chrono::milliseconds connectLimit{15000};
  std::chrono::milliseconds loginLimit{30000};
  // Empty: the protocol goes over the TCP connection as it is. Otherwise it is handed the
  // connected socket, the host as given and the login's deadline, and every byte after the
  // connect goes through the stream it returns (which leaves the socket to the link); nothing
  // returned means no connection.
  std::function<std::unique_ptr<ByteStream>(NetSocket& connected, const std::string& host,
                                            std::chrono::steady_clock::time_point deadline)>
      secureChannel;
  // The tool's: IPv6 as well, every address of the name tried in turn within connectLimit. The
  // library takes the first IPv4 address alone.
  bool anyFamily = false;
};

class ConsoleLink {
 public:
  static constexpr std::size_t kNamesCapacity = 16004;

  explicit ConsoleLink(UserMessages& messages, ConsoleLinkOptions options = {});
  ConsoleLink(const ConsoleLink&) = delete;
  ConsoleLink& operator=(const ConsoleLink&) = delete;
  virtual ~ConsoleLink() = default;

  // 1 logged in; 0 no connection or no status; otherwise the refusing status word or -2 for an
  // unexpected one, its box already shown.
  int connectAndLogin(const std::string& host, std::uint32_t requestCode, std::string_view userName,
                      std::string_view password);
  int connectToServer(const std::string& host);
  int exchangeCredentials(std::string_view userName, std::string_view password);
  // The status word the login read last, as it came; what a -2 result hides.
  std::optional<std::uint32_t> lastStatus() const { return lastStatus_; }

  bool sendMessage(ConsoleMessage& message);
  // `message.payload` holds `payloadCapacity` bytes. A longer payload is refused and the link is
  // dead from then on: the stream cannot be followed any further.
  bool receiveMessage(ConsoleMessage& message, std::size_t payloadCapacity);
  // The payload length of the message the link refused so, or nothing: a link that dropped
  // itself, which its owner tells apart from one the peer or the network broke.
  std::optional<std::uint32_t> refusedLength() const {
    const std::uint32_t length = refusedLength_.load();
    return length != 0 ? std::optional(length) : std::nullopt;
  }

  bool isAlive() const { return stream().isAlive(); }
  void markDead() { stream().markDead(); }
  // Ends traffic both ways and marks the link dead: a receive blocked on another thread
  // returns at once. How the owner of a session stops its receive thread.
  void shutdown() {
    markDead();
    stream().shutdownBoth();
  }

  // Probes the LAN for a second; the answering consoles' names are then in names().
  bool discoverServers();
  std::string_view names() const { return names_.data(); }

  std::uint32_t resolveAddress(const std::string& host);
  std::uint32_t resolvedAddress() const { return resolvedAddress_; }

 private:
  std::optional<std::uint32_t> readStatus();
  int answer(const StatusResponse& response);
  ByteStream& stream() { return secured_ ? *secured_ : socket_; }
  const ByteStream& stream() const { return secured_ ? *secured_ : static_cast<const ByteStream&>(socket_); }

  UserMessages& messages_;
  ConsoleLinkOptions options_;
  std::array<char, kNamesCapacity> names_{};
  NetSocket socket_;
  std::unique_ptr<ByteStream> secured_;  // over socket_, so it goes first
  std::chrono::steady_clock::time_point loginDeadline_{};
  std::uint32_t resolvedAddress_ = 0;
  std::optional<std::uint32_t> lastStatus_;
  std::atomic<std::uint32_t> refusedLength_{0};  // set by the receiving thread, read by others
  std::mutex sendMutex_;  // held from the first byte of a message to its last
};

}  // namespace vantrel
