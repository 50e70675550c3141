#include "tls/shown_key.h"

#include "tls/tls_identity.h"

namespace vantrel::cli {

ShownKey checkShownKey(X509* certificate, const std::string& host, std::uint16_t port, const TrustPolicy& policy,
                       const KnownConsolesFile& known) {
  const std::string console = host + ":" + std::to_string(port);
  const auto shown = publicKeyDigest(certificate);
  if (!shown) return {{}, {Verdict::Refuse, "the console at " + console + " showed no usable key"}};
  KnownLookup lookup;
  std::string error;
  if (!policy.pin) {
    const auto entries = known.read(error);
    if (!entries) return {*shown, {Verdict::Refuse, error}};
    lookup = lookUpConsole(*entries, host, port, *shown);
  }
  TrustDecision decision = decideTrust(console, *shown, policy, lookup);
  if (decision.verdict == Verdict::Remember) {
    decision.verdict = known.add(host, port, *shown, error) ? Verdict::Accept : Verdict::Refuse;
    if (decision.verdict == Verdict::Refuse) decision.text = error;
  }
  return {*shown, std::move(decision)};
}

}  // namespace vantrel::cli
