#pragma once
// The trust decision on the certificate a console showed in its handshake, as every client of
// ours takes it: a pin decides alone; otherwise the known-consoles file is read, and written
// when the decision is to remember a new key.

#include <cstdint>
#include <string>

#include "tls/console_trust.h"
#include "tls/known_consoles.h"
#include "tls/openssl_handles.h"

namespace vantrel::cli {

struct ShownKey {
  Sha256Digest key{};
  // Accept (a remembered key too, its note in `text`), Ask or Refuse.
  TrustDecision decision;
};

ShownKey checkShownKey(X509* certificate, const std::string& host, std::uint16_t port, const TrustPolicy& policy,
                       const KnownConsolesFile& known);

}  // namespace vantrel::cli
