#pragma once
// The console's end of the protocol: it listens for viewers and runs the server half of the
// login for each connection (refusals, lockout, allow list, account check), or it answers LAN
// probes. One instance plays one of the two roles; a console that wants both runs two, each on
// a thread of its own. After a login the connection stays as the active link, over which the
// host exchanges ConsoleMessage records with the viewer.

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
#include <vector>

#include "net/byte_stream.h"
#include "net/net_socket.h"
#include "protocol/console_message.h"
#include "server/account_checks.h"
#include "server/client_lock_table.h"

namespace vantrel {

// Milliseconds since some fixed moment, wrapping at 2^32 like the Windows tick count. The lock
// table measures its 15 minutes on it; tests move it by hand.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual std::uint32_t tickCount() = 0;
};

TickClock& systemTickClock();

class ConsoleServer {
 public:
  static constexpr std::uint16_t kDefaultTcpPort = 25000;
  static constexpr std::uint16_t kDefaultUdpPort = 25001;
  // A connection must send its request word this long after it was accepted, and finish its
  // whole login within the second limit.
  static constexpr std::uint32_t kRequestWordLimitMs = 5000;
  static constexpr std::uint32_t kLoginLimitMs = 30000;
  // The system's keepalive probes a logged-in viewer's quiet connection after this many seconds.
  static constexpr std::uint32_t kKeepAliveSeconds = 30;
  static constexpr std::size_t kFilterCapacity = 2560;  // terminator included
  static constexpr std::size_t kUserBlockSize = 24;
  static constexpr std::size_t kPasswordBlockSize = 264;

  // The status words this side sends; it sends no others.
  static constexpr std::uint32_t loginAccepted = 101;
  static constexpr std::uint32_t loginRejected = 102;
  static constexpr std::uint32_t clientLocked = 103;
  static constexpr std::uint32_t addressRefused = 104;
  static constexpr std::uint32_t serverRefused = 105;
  static constexpr std::uint32_t otherUser = 106;
  static constexpr std::uint32_t proceed = 107;
  static constexpr std::uint32_t localRefused = 110;
  static constexpr std::uint32_t thirdFailure = 111;
  static constexpr std::uint32_t loginRequest = 108;

  explicit ConsoleServer(AccountChecks& accounts, ClientLockTable& locks = ClientLockTable::process(),
                         TickClock& clock = systemTickClock());
  ConsoleServer(const ConsoleServer&) = delete;
  ConsoleServer& operator=(const ConsoleServer&) = delete;
  virtual ~ConsoleServer();

  // Set before startListening / runProbeResponder. A TCP port of 0 takes any free port.
  void setPorts(std::uint16_t tcpPort, std::uint16_t udpPort);
  // Every address of this machine unless set: 127.0.0.1 only, or one IPv4 address (network order).
  void setLoopbackOnly(bool loopbackOnly);
  void setListenAddress(std::uint32_t address) { listenAddress_ = address; }
  // Off by default: clients on this machine are refused. On, they may log in (demos, tests).
  void setAllowLocal(bool allowLocal) { allowLocal_ = allowLocal; }
  // How long a connection may take over its request word and over its whole login.
  void setLoginLimits(std::uint32_t requestWordMs, std::uint32_t loginMs) {
    requestWordLimitMs_ = requestWordMs;
    loginLimitMs_ = loginMs;
  }

  // Bounds each wait of a send to the logged-in viewer: one that has stopped reading fails the
  // send, which ends the session. 0, the default, waits as long as it takes.
  void setSendLimit(std::uint32_t milliseconds) { sendLimitMs_ = milliseconds; }

  // Unset, the protocol goes over each accepted connection as it is. Set, each connection is
  // first handed to it, on its login's thread and within the time allowed for the request word;
  // the login and the session then go through the stream it returns, which leaves the socket to
  // the server and gives up once the socket is shut down or marked dead. Nothing returned drops
  // the connection. Peer addresses and socket options still come from the socket.
  using SecureChannel = std::function<std::unique_ptr<ByteStream>(
      NetSocket& accepted, std::chrono::steady_clock::time_point deadline)>;
  void setSecureChannel(SecureChannel channel) { secureChannel_ = std::move(channel); }
  // With a secure channel: a second port on the same address whose connections go without it,
  // for viewers that cannot speak it. Set before startListening; 0 takes any free port.
  void setClearPort(std::optional<std::uint16_t> port) { clearPort_ = port; }
  std::optional<std::uint16_t> clearListeningPort() const { return clearSocket_.localPort(); }

  bool startListening();
  // The port the listening socket is bound to.
  std::optional<std::uint16_t> listeningPort() const;
  // Answers probes until setProbeRunning(false) and the next probe; true when the loop ended.
  bool runProbeResponder();
  bool setProbeRunning(bool flag);

  // Handles exactly one incoming connection; true when its client logged in and is now the
  // active link (an earlier one is closed). A connection that is too slow over its request word
  // or its whole login is dropped.
  bool acceptLogin();
  // The status word the last acceptLogin sent, 0 when it sent none.
  std::uint32_t lastStatus() const { return lastStatus_; }

  // The two halves of acceptLogin, for a console that runs several logins side by side.
  struct LoginResult {
    std::uint32_t status = 0;  // the last status word sent, 0 when none
    bool loggedIn = false;
    // For the console's log: the user as the client sent it (none when it was not read), and
    // with clientLocked or thirdFailure how long the lock still holds.
    std::optional<std::string> user;
    std::uint32_t lockedForMs = 0;
    bool secured = false;              // the login went through the secure channel
    bool secureChannelFailed = false;  // dropped before a word: the secure channel was not made
  };
  enum class SessionClaim {
    Replace,       // a successful login takes the place of the active link
    OnlyWhenFree,  // ... only while no user is active, and makes the user active; else otherUser
  };
  // The next connection on either port, waiting at most `limit`; nothing when none came or
  // accept failed.
  std::unique_ptr<NetSocket> acceptConnection(std::chrono::milliseconds limit);
  // The login of one accepted connection. Logins may run on several threads at once: the
  // refusal checks, the lock table and the account checks stay consistent between them.
  LoginResult login(std::unique_ptr<NetSocket> link, SessionClaim claim);

  // One record from the active link, its payload into message.payload, which holds
  // payloadCapacity bytes. False for a type outside 1 to 6 (that byte alone is consumed) and for
  // a failed read or a payload too large for the buffer; those two also mark the link dead.
  bool receiveFromClient(ConsoleMessage& message, std::size_t payloadCapacity);
  // One record to the active link. Type 1 goes out as it is; type 3 carries its 32-bit value
  // only for subtype 12. Safe to call from several threads: each record reaches the wire whole.
  bool sendToClient(const ConsoleMessage& message);
  bool isLinkAlive() const;
  bool closeAll();
  // Closes and forgets the active link, ending the session on this side.
  bool endSession();
  // Shuts down every socket without closing it, so that a thread blocked in receive or send
  // returns, and on Linux one blocked in accept too (Winsock leaves accept waiting). Safe from
  // any thread; the instance is unusable for new work afterwards.
  void interrupt();
  // The same for the active link alone: a thread blocked on it returns, the listener stays.
  void interruptSession();
  // The same for every connection whose login is under way.
  void interruptLogins();

  bool setAddressFilter(std::int32_t enabled, std::string_view text);
  bool setRefuseAll(std::int32_t flag);
  bool setUserActive(std::int32_t flag);
  bool isAddressAllowed(std::string_view address);
  static std::uint32_t parseAddress(std::string_view text);
  bool checkCredentials(const std::string& user, const std::string& password);

  std::string clientAddress() const;
  std::string clientUser() const;

 private:
  // An accepted connection and the stream its traffic goes through.
  struct Link {
    std::unique_ptr<NetSocket> socket;
    std::unique_ptr<ByteStream> secured;  // over the socket, so it goes first
    ByteStream& stream() const { return secured ? *secured : *socket; }
  };
  LoginResult handshake(Link& link, SessionClaim claim, std::chrono::steady_clock::time_point requestDeadline,
                        std::chrono::steady_clock::time_point deadline);
  std::optional<std::uint32_t> refusal(NetSocket& link, const std::string& peer, const std::string& clientKey);
  std::uint32_t decide(const std::string& clientKey, const std::string& user, const std::string& password,
                       SessionClaim claim);
  bool isLocalClient(NetSocket& link, const std::string& peer, const std::string& computerName) const;

  AccountChecks& accounts_;
  ClientLockTable& locks_;
  TickClock& clock_;

  std::atomic<std::int32_t> userActive_{0};
  std::string clientAddress_;
  std::string clientUser_;
  NetSocket socket_;
  NetSocket clearSocket_;
  // Guards the link pointers (not the traffic on them), so that interrupt() and isLinkAlive()
  // may look at them from other threads. A pending link is owned by the login that runs it.
  mutable std::mutex links_;
  std::unique_ptr<Link> activeLink_;
  std::vector<NetSocket*> pendingLinks_;
  std::mutex sendLock_;
  std::mutex accountLock_;  // the account checks are asked one login at a time
  std::uint16_t tcpPort_ = kDefaultTcpPort;
  std::uint16_t udpPort_ = kDefaultUdpPort;
  std::uint32_t listenAddress_ = 0;
  bool allowLocal_ = false;
  std::uint32_t requestWordLimitMs_ = kRequestWordLimitMs;
  std::uint32_t loginLimitMs_ = kLoginLimitMs;
  std::uint32_t sendLimitMs_ = 0;
  SecureChannel secureChannel_;
  std::optional<std::uint16_t> clearPort_;
  std::atomic<std::int32_t> filterEnabled_{0};
  std::string filterText_;
  mutable std::mutex filter_;
  std::atomic<std::int32_t> refuseAll_{0};
  std::uint32_t lastStatus_ = 0;
};

}  // namespace vantrel
