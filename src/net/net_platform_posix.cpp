#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "net/net_platform.h"

namespace vantrel::net {

bool waitUntil(NativeSocket s, Readiness readiness, std::uint32_t milliseconds) {
  pollfd entry{s, static_cast<short>(readiness == Readiness::Readable ? POLLIN : POLLOUT), 0};
  const int timeout = static_cast<int>(std::min<std::uint32_t>(milliseconds, 0x7FFFFFFF));
  return poll(&entry, 1, timeout) > 0;
}

std::optional<std::size_t> waitUntilAnyReadable(std::span<const NativeSocket> sockets, std::uint32_t milliseconds) {
  std::vector<pollfd> entries;
  for (const NativeSocket s : sockets) entries.push_back({s, POLLIN, 0});
  const int timeout = static_cast<int>(std::min<std::uint32_t>(milliseconds, 0x7FFFFFFF));
  if (poll(entries.data(), entries.size(), timeout) <= 0) return std::nullopt;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].revents != 0) return i;
  }
  return std::nullopt;
}

bool setKeepAlive(NativeSocket s, std::uint32_t idleSeconds, std::uint32_t intervalSeconds) {
  const auto set = [s](int level, int option, std::uint32_t value) {
    const int v = static_cast<int>(std::clamp<std::uint32_t>(value, 1, 0x7FFF));
    return setsockopt(s, level, option, &v, sizeof v) == 0;
  };
  return set(SOL_SOCKET, SO_KEEPALIVE, 1) && set(IPPROTO_TCP, TCP_KEEPIDLE, idleSeconds) &&
         set(IPPROTO_TCP, TCP_KEEPINTVL, intervalSeconds) && set(IPPROTO_TCP, TCP_KEEPCNT, 3);
}

// Windows asks the network with SendARP; here the kernel's neighbour table answers.
std::optional<HardwareAddress> neighbourHardwareAddress(std::uint32_t address) {
  char wanted[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, wanted, sizeof wanted) == nullptr) return std::nullopt;
  std::ifstream table("/proc/net/arp");
  std::string line;
  std::getline(table, line);  // column titles
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string ip, type, flags, hardware;
    if (!(fields >> ip >> type >> flags >> hardware) || ip != wanted) continue;
    constexpr unsigned long kComplete = 0x2;
    if ((std::strtoul(flags.c_str(), nullptr, 16) & kComplete) == 0) continue;
    HardwareAddress bytes{};
    if (std::sscanf(hardware.c_str(), "%2hhx:%2hhx:%2hhx:%2hhx:%2hhx:%2hhx", &bytes[0], &bytes[1],
                    &bytes[2], &bytes[3], &bytes[4], &bytes[5]) != 6) {
      continue;
    }
    return bytes;
  }
  return std::nullopt;
}

std::optional<std::string> computerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
  return std::string(name).substr(0, 31);
}

bool singleAdapterListed() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  std::set<std::string> adapters;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET && (a->ifa_flags & IFF_LOOPBACK) == 0) {
      adapters.insert(a->ifa_name);
    }
  }
  freeifaddrs(list);
  return adapters.size() == 1;
}

}  // namespace vantrel::net
