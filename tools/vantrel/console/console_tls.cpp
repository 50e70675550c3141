#include "console/console_tls.h"

#include "tls/tls_stream.h"

namespace vantrel::cli {

std::unique_ptr<ConsoleTls> ConsoleTls::open(const ConsoleSettings& s, std::string& error) {
  auto tls = openServerTls({s.tlsCertificate, s.tlsKey, s.stateDir}, "console", error);
  if (!tls) return nullptr;
  return std::unique_ptr<ConsoleTls>(new ConsoleTls(std::move(*tls)));
}

ConsoleServer::SecureChannel ConsoleTls::channel(std::function<void(const std::string&)> log) const {
  return [this, log = std::move(log)](NetSocket& accepted,
                                      std::chrono::steady_clock::time_point deadline) -> std::unique_ptr<ByteStream> {
    TlsFailure failure;
    auto stream = TlsStream::accept(*tls_.context, accepted, deadline, failure);
    if (!stream) log("no TLS session with a viewer from " + accepted.peerAddress().value_or("?") + ": " + failure.reason);
    return stream;
  };
}

}  // namespace vantrel::cli
