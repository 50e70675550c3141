#pragma once
// The few places where Winsock spells the BSD socket calls differently. Everything else in the
// socket code is the same on both systems.

#include <cstdint>
#include <limits>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vantrel::net {

#ifdef _WIN32
using NativeSocket = SOCKET;
using IoLength = int;
inline constexpr NativeSocket kNoNativeSocket = INVALID_SOCKET;
inline constexpr int kShutdownBoth = SD_BOTH;
inline constexpr int kShutdownSend = SD_SEND;
inline constexpr int kSendFlags = 0;
inline constexpr int kWouldBlock = WSAEWOULDBLOCK;
inline constexpr int kConnectPending = WSAEWOULDBLOCK;
inline constexpr int kDatagramTruncated = WSAEMSGSIZE;
inline constexpr int kStaleUnreachable = WSAECONNRESET;  // an earlier datagram found no listener
// Address reuse lets a stream socket bind beside a live listener on the same port.
inline constexpr bool kStreamBindRefusesListeners = false;
inline int lastSocketError() { return WSAGetLastError(); }
inline int closeNative(NativeSocket s) { return closesocket(s); }
inline bool startupSockets() {
  WSADATA data;
  return WSAStartup(0x0002, &data) == 0;
}
inline int setTimeoutOption(NativeSocket s, int option, std::uint32_t milliseconds) {
  const DWORD value = milliseconds;
  return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value);
}
inline int setNonBlocking(NativeSocket s, bool on) {
  u_long value = on ? 1 : 0;
  return ioctlsocket(s, static_cast<long>(FIONBIO), &value);
}
#else
using NativeSocket = int;
using IoLength = std::size_t;
inline constexpr NativeSocket kNoNativeSocket = -1;
inline constexpr int kShutdownBoth = SHUT_RDWR;
inline constexpr int kShutdownSend = SHUT_WR;
inline constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer is a failed send, not SIGPIPE
inline constexpr int kWouldBlock = EWOULDBLOCK;
inline constexpr int kConnectPending = EINPROGRESS;
inline constexpr int kDatagramTruncated = EMSGSIZE;
inline constexpr int kStaleUnreachable = ECONNREFUSED;
// Address reuse covers only ports whose last socket is closing, never one a live listener holds.
inline constexpr bool kStreamBindRefusesListeners = true;
inline int lastSocketError() { return errno; }
inline int closeNative(NativeSocket s) { return ::close(s); }
inline bool startupSockets() { return true; }
inline int setTimeoutOption(NativeSocket s, int option, std::uint32_t milliseconds) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(milliseconds / 1000);
  value.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
  return setsockopt(s, SOL_SOCKET, option, &value, sizeof value);
}
inline int setNonBlocking(NativeSocket s, bool on) {
  int value = on ? 1 : 0;
  return ioctl(s, FIONBIO, &value);
}
#endif

// One send or receive call moves at most this many bytes; the loops above it continue.
inline IoLength ioLength(std::size_t n) {
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<IoLength>(n < kMax ? n : kMax);
}

}  // namespace vantrel::net
