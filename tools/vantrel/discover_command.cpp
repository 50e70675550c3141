// vantrel discover [--to ADDR] [--port N]
#include <charconv>
#include <cstdio>

#include "catalog/user_messages.h"
#include "commands.h"
#include "protocol/console_link.h"

namespace vantrel::cli {
namespace {

constexpr const char* kUsage = "usage: vantrel discover [--to ADDR] [--port N]";

std::optional<std::uint16_t> parsePort(const std::string& text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

int runDiscover(Args args) {
  ConsoleLinkOptions options;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return fail("discover", kUsage);
    if (args[i] == "--port") {
      const auto port = parsePort(args[i + 1]);
      if (!port) return fail("discover", "'" + args[i + 1] + "' is not a port number (1 to 65535)");
      options.udpPort = *port;
    } else if (args[i] == "--to") {
      NetSocket::startup();
      options.probeTarget = NetSocket::resolve(args[i + 1]);
      if (options.probeTarget == 0) return fail("discover", "cannot resolve '" + args[i + 1] + "'");
    } else {
      return fail("discover", kUsage);
    }
  }

  UserMessages messages;  // discovery shows no box
  ConsoleLink link(messages, options);
  if (!link.discoverServers()) return fail("discover", "cannot open a datagram socket for the probe");
  std::string_view names = link.names();
  for (auto comma = names.find(','); comma != std::string_view::npos; comma = names.find(',')) {
    std::printf("%.*s\n", static_cast<int>(comma), names.data());
    names.remove_prefix(comma + 1);
  }
  return 0;
}

}  // namespace vantrel::cli
