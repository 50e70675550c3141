#pragma once
// TLS over a connected socket through Windows' own SChannel: the DLL's secure link. The console's
// certificate is not judged by the system (a self-signed console certificate is the normal case);
// the pinned key is the trust decision, and the negotiated version must be TLS 1.2 or later.

#include <chrono>
#include <memory>
#include <string>

#include "net/byte_stream.h"
#include "net/fingerprint.h"
#include "net/net_socket.h"

namespace vantrel {

struct SecureChannel {
  std::unique_ptr<ByteStream> stream;  // over the socket, which it does not own; none on failure
  std::string failure;                 // why there is none, for the trace
};

// The handshake with `host` (also the name sent for SNI), given up at `deadline`.
SecureChannel openSchannelStream(NetSocket& socket, const std::string& host,
                                 std::chrono::steady_clock::time_point deadline, const Sha256Digest& pin);

}  // namespace vantrel
