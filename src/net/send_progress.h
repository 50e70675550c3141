#pragma once
// What the peer of a stream socket has acknowledged and what waits in the send queue. Apart from
// net_platform.h: the Linux side needs the kernel's own tcp_info, which carries the count of
// acknowledged bytes and cannot share a file with the C library's older copy of it.

#include <optional>

#include "net/net_socket.h"

namespace vantrel::net {

// Nothing where the system does not tell.
std::optional<NetSocket::SendProgress> sendProgress(NetSocket::Handle s);

}  // namespace vantrel::net
