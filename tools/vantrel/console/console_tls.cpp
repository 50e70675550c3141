#include "console/console_tls.h"

#include "tls/tls_contexts.h"
#include "tls/tls_identity.h"
#include "tls/tls_stream.h"

namespace vantrel::cli {

std::unique_ptr<ConsoleTls> ConsoleTls::open(const ConsoleSettings& s, std::string& error) {
  std::optional<TlsIdentity> identity;
  std::string origin;
  if (s.tlsCertificate) {
    identity = loadIdentity(*s.tlsCertificate, s.tlsKey.value_or(*s.tlsCertificate), error);
    origin = "from " + *s.tlsCertificate;
  } else {
    const std::filesystem::path folder = s.stateDir ? std::filesystem::path(*s.stateDir) : defaultStateFolder();
    identity = keptIdentity(folder, "console", error);
    origin = "kept in " + (folder / "console.pem").string();
  }
  if (!identity) return nullptr;
  const auto digest = publicKeyDigest(identity->certificate.get());
  SslContextPtr context = digest ? serverContext(*identity, error) : nullptr;
  if (!digest) error = "cannot read the certificate's key";
  if (!context) return nullptr;
  return std::unique_ptr<ConsoleTls>(new ConsoleTls(std::move(context), formatFingerprint(*digest), origin));
}

ConsoleServer::SecureChannel ConsoleTls::channel(std::function<void(const std::string&)> log) const {
  return [this, log = std::move(log)](NetSocket& accepted,
                                      std::chrono::steady_clock::time_point deadline) -> std::unique_ptr<ByteStream> {
    TlsFailure failure;
    auto stream = TlsStream::accept(*context_, accepted, deadline, failure);
    if (!stream) log("no TLS session with a viewer from " + accepted.peerAddress().value_or("?") + ": " + failure.reason);
    return stream;
  };
}

}  // namespace vantrel::cli
