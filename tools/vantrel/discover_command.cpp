// vantrel discover [--to ADDR] [--port N]
#include <arpa/inet.h>

#include <cstdio>

#include "commands.h"
#include "net/net_socket.h"
#include "printable_text.h"

namespace vantrel::cli {

int runDiscover(const DiscoverSettings& s) {
  std::uint32_t target = NetSocket::kBroadcastAddress;
  if (!NetSocket::startup()) return fail("discover", "cannot start the socket library");
  if (s.to) {
    target = NetSocket::resolve(*s.to);
    if (target == 0) return fail("discover", "cannot resolve '" + *s.to + "'");
  }
  NetSocket socket;
  if (!socket.createBroadcastUdp()) return fail("discover", "cannot open a datagram socket for the probe");

  int answers = 0;
  const bool probed = socket.discover(
      s.port,
      [&answers](std::string_view name, std::uint32_t from) {
        char address[INET_ADDRSTRLEN] = "?";
        const in_addr sender{from};
        inet_ntop(AF_INET, &sender, address, sizeof address);
        std::printf("%s\t%s\n", printableText(name).c_str(), address);
        ++answers;
      },
      target);
  if (!probed) return fail("discover", "cannot send the probe");
  if (answers == 0) {
    return fail("discover", "no console answered within a second on UDP port " + std::to_string(s.port));
  }
  return kExitOk;
}

}  // namespace vantrel::cli
