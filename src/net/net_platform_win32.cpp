#include <winsock2.h>
#include <iphlpapi.h>
#include <mstcpip.h>
#include <windows.h>

#include <cstring>

#include "net/net_platform.h"

namespace vantrel::net {

bool waitUntil(NativeSocket s, Readiness readiness, std::uint32_t milliseconds) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);  // a connect that fails is reported here, not as writable
  timeval limit{static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
  const bool reading = readiness == Readiness::Readable;
  return select(0, reading ? &ready : nullptr, reading ? nullptr : &ready, &failed, &limit) > 0;
}

std::optional<std::size_t> waitUntilAnyReadable(std::span<const NativeSocket> sockets, std::uint32_t milliseconds) {
  fd_set ready;
  FD_ZERO(&ready);
  for (const NativeSocket s : sockets) FD_SET(s, &ready);
  timeval limit{static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
  if (select(0, &ready, nullptr, nullptr, &limit) <= 0) return std::nullopt;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    if (FD_ISSET(sockets[i], &ready)) return i;
  }
  return std::nullopt;
}

// Windows sends its own fixed number of probes (10) once the first has gone unanswered.
bool setKeepAlive(NativeSocket s, std::uint32_t idleSeconds, std::uint32_t intervalSeconds) {
  tcp_keepalive values{1, idleSeconds * 1000, intervalSeconds * 1000};
  DWORD returned = 0;
  return WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr) == 0;
}

std::optional<HardwareAddress> neighbourHardwareAddress(std::uint32_t address) {
  ULONG buffer[2] = {};
  ULONG length = 6;
  if (SendARP(static_cast<IPAddr>(address), 0, buffer, &length) != NO_ERROR || length != 6) {
    return std::nullopt;
  }
  HardwareAddress bytes{};
  std::memcpy(bytes.data(), buffer, bytes.size());
  return bytes;
}

std::optional<std::string> computerName() {
  char name[32] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return std::nullopt;
  return std::string(name);
}

bool singleAdapterListed() {
  IP_ADAPTER_INFO one{};
  ULONG size = sizeof one;
  return GetAdaptersInfo(&one, &size) == ERROR_SUCCESS;
}

}  // namespace vantrel::net
