#pragma once
// Addresses as the tool's users write and read them: IPv4 dotted, IPv6 in its usual text, and
// an IPv6 address beside a port in brackets ([::1]:25000), since its colons would swallow one.

#include <cstdint>
#include <optional>
#include <string>

namespace vantrel::cli {

bool isIpv6Literal(const std::string& text);

// The host as messages name it: an IPv6 address in brackets, anything else as it is.
std::string hostText(const std::string& host);

// Whether the system resolver knows the name (or it is an address), in either family.
bool resolvable(const std::string& host);

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT, where HOST is a name, an IPv4 address or an IPv6
// address that cannot be read as one with a port. Nothing, and the reason in `error`, for a
// bad port, no host, or an IPv6 address that would need the brackets.
struct HostPort {
  std::string host;
  std::optional<std::uint16_t> port;
};
std::optional<HostPort> splitHostPort(const std::string& text, std::string& error);

// What --listen says ("localhost" being 127.0.0.1).
struct ListenAddress {
  std::string text;
  bool ipv6 = false;
  bool loopback = false;
  // The IPv4 address in network order: the address itself, or for IPv6 the one the probe
  // responder (IPv4 only) listens on beside it: 0.0.0.0 for "::", 127.0.0.1 for "::1" and the
  // embedded one of ::ffff:a.b.c.d; nothing for other IPv6 addresses.
  std::optional<std::uint32_t> ipv4;
};
std::optional<ListenAddress> parseListen(const std::string& text);

}  // namespace vantrel::cli
