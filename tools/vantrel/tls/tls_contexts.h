#pragma once
// The TLS settings of our servers and clients: TLS 1.3, with 1.2 as the floor (ECDHE and AEAD
// ciphers only), no renegotiation, no session tickets (nothing of ours resumes a session).

#include <optional>
#include <string>

#include "tls/openssl_handles.h"
#include "tls/tls_identity.h"

namespace vantrel::cli {

// Nothing, and the reason in `error`, when the identity cannot serve.
SslContextPtr serverContext(const TlsIdentity& identity, std::string& error);

// With a CA bundle the server's chain is verified in the handshake (its name per connection);
// without one, nothing is checked there and the caller decides on the key the server showed
// before anything else goes out.
SslContextPtr clientContext(const std::optional<std::string>& caFile, std::string& error);

// Names the server to ask for (not for an address, which TLS does not name) and, when the
// context checks certificates, the name or address the certificate must be for.
bool nameServer(SSL* ssl, const std::string& host);

}  // namespace vantrel::cli
