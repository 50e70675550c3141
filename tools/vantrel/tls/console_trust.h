#pragma once
// What a viewer makes of the key a console showed in its TLS handshake, decided before a
// credential goes out: a pinned key must be the one shown; otherwise the known-consoles file
// decides, and a console it does not know is trusted only when the user says so (an answer on
// the terminal, or --accept-new). Nothing is accepted silently.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/fingerprint.h"
#include "tls/known_consoles.h"

namespace vantrel::cli {

struct TrustPolicy {
  std::optional<Sha256Digest> pin;  // --tls-fingerprint: this key and no other
  bool acceptNew = false;           // remember an unknown console without asking
  bool canAsk = false;              // a user is at a terminal to answer
  std::string knownFile;            // where the known consoles are kept, for the texts
  // How the texts tell the user to try again, and what goes before a key given as a pin.
  std::string again = "connect again";
  std::string pinPrefix;
};

enum class Verdict {
  Accept,    // the key is pinned or known
  Remember,  // new, and accepted beforehand: keep it
  Ask,       // new: show it and ask
  Refuse,
};

struct TrustDecision {
  Verdict verdict = Verdict::Refuse;
  // Refuse: why, and what to do; Ask: what the user should compare; Remember: a note.
  std::string text;
};

// `console` is the "HOST:PORT" the user named; `known` the known-consoles answer for it (not
// looked at when a key is pinned).
TrustDecision decideTrust(std::string_view console, const Sha256Digest& shown, const TrustPolicy& policy,
                          const KnownLookup& known);

// The question that follows an Ask decision's text.
std::string trustQuestion(const TrustPolicy& policy);

// An answer to that question: "yes", "no" (or nothing), or the key itself typed or pasted as
// its fingerprint, which counts as yes when it is the key shown; nothing for anything else,
// which is asked again.
std::optional<bool> readTrustAnswer(std::string_view answer, const Sha256Digest& shown);

}  // namespace vantrel::cli
