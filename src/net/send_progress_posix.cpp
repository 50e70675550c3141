#include "net/send_progress.h"

#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>

namespace vantrel::net {

std::optional<NetSocket::SendProgress> sendProgress(NetSocket::Handle handle) {
  const int s = static_cast<int>(handle);
  tcp_info info{};
  socklen_t length = sizeof info;
  int queued = 0;
  // A kernel too old for the count gives a shorter record.
  if (getsockopt(s, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
      length < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked || ioctl(s, SIOCOUTQ, &queued) != 0) {
    return std::nullopt;
  }
  return NetSocket::SendProgress{info.tcpi_bytes_acked, static_cast<std::uint64_t>(queued)};
}

}  // namespace vantrel::net
