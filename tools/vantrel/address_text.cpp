#include "address_text.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <charconv>
#include <cstring>

namespace vantrel::cli {
namespace {

std::optional<std::uint16_t> portNumber(const std::string& text) {
  unsigned value = 0;
  const auto [end, failed] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failed != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool lookUp(const std::string& host, int family, int flags) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
  freeaddrinfo(found);
  return true;
}

}  // namespace

// Through the resolver rather than inet_pton, so that a zone (fe80::1%eth0) is taken too.
bool isIpv6Literal(const std::string& text) { return lookUp(text, AF_INET6, AI_NUMERICHOST); }

std::string hostText(const std::string& host) { return isIpv6Literal(host) ? "[" + host + "]" : host; }

bool resolvable(const std::string& host) { return lookUp(host, AF_UNSPEC, 0); }

std::optional<HostPort> splitHostPort(const std::string& text, std::string& error) {
  HostPort out;
  std::string port;
  bool hasPort = false;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    out.host = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    const std::string rest = close == std::string::npos ? "" : text.substr(close + 1);
    if (close == std::string::npos || !isIpv6Literal(out.host) || (!rest.empty() && rest[0] != ':')) {
      error = "'" + text + "' is not [IPV6] or [IPV6]:PORT, such as [::1]:25000";
      return std::nullopt;
    }
    hasPort = !rest.empty();
    port = hasPort ? rest.substr(1) : "";
  } else if (const auto colon = text.rfind(':'); colon != std::string::npos && text.find(':') != colon) {
    // Several colons: an IPv6 address alone, unless its last group could as well be a port.
    if (!isIpv6Literal(text) || isIpv6Literal(text.substr(0, colon))) {
      error = "an IPv6 address with a port goes in brackets: [" + text.substr(0, colon) + "]:" +
              text.substr(colon + 1) + ", or [ADDRESS] for port 25000";
      return std::nullopt;
    }
    out.host = text;
  } else {
    out.host = text.substr(0, colon);
    hasPort = colon != std::string::npos;
    if (hasPort) port = text.substr(colon + 1);
  }
  if (hasPort && !(out.port = portNumber(port))) {
    error = "'" + port + "' is not a port number (1 to 65535)";
    return std::nullopt;
  }
  if (out.host.empty()) {
    error = "no host in '" + text + "'";
    return std::nullopt;
  }
  return out;
}

std::optional<ListenAddress> parseListen(const std::string& text) {
  ListenAddress listen;
  listen.text = text == "localhost" ? "127.0.0.1" : text;
  std::uint32_t v4 = 0;
  if (inet_pton(AF_INET, listen.text.c_str(), &v4) == 1) {
    listen.loopback = (ntohl(v4) >> 24) == 127;
    listen.ipv4 = v4;
    return listen;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, listen.text.c_str(), &v6) != 1) return std::nullopt;
  listen.ipv6 = true;
  const bool mapped = IN6_IS_ADDR_V4MAPPED(&v6);
  listen.loopback = IN6_IS_ADDR_LOOPBACK(&v6) || (mapped && v6.s6_addr[12] == 127);
  if (IN6_IS_ADDR_UNSPECIFIED(&v6)) listen.ipv4 = htonl(INADDR_ANY);
  if (IN6_IS_ADDR_LOOPBACK(&v6)) listen.ipv4 = htonl(INADDR_LOOPBACK);
  if (mapped) {
    std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);
    listen.ipv4 = v4;
  }
  return listen;
}

}  // namespace vantrel::cli
