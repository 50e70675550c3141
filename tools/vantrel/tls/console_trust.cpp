#include "tls/console_trust.h"

#include <algorithm>
#include <cctype>

namespace vantrel::cli {
namespace {

constexpr const char* kEitherWay =
    "Someone may be intercepting the connection, or the console has a new key: ask its administrator for the "
    "key it printed at start.";

std::string trimmedLower(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

TrustDecision decideTrust(std::string_view console, const Sha256Digest& shown, const TrustPolicy& policy,
                          const KnownLookup& known) {
  const std::string at = "the console at " + std::string(console);
  const std::string key = formatFingerprint(shown);
  if (policy.pin) {
    if (*policy.pin == shown) return {Verdict::Accept, {}};
    return {Verdict::Refuse, at + " shows the key " + key + ", not the one given with --tls-fingerprint (" +
                                 formatFingerprint(*policy.pin) + ").\n" + kEitherWay};
  }
  switch (known.answer) {
    case KnownAnswer::Match: return {Verdict::Accept, {}};
    case KnownAnswer::Mismatch: {
      const std::string line = std::to_string(known.entry->line);
      return {Verdict::Refuse, "the key of " + at + " has changed:\n  known: " + formatFingerprint(known.entry->key) +
                                   " (" + policy.knownFile + " line " + line + ")\n  shown: " + key + "\n" +
                                   kEitherWay + " Once it confirms the key shown, delete line " + line + " of " +
                                   policy.knownFile + " and " + policy.again + "."};
    }
    case KnownAnswer::NotFound: break;
  }
  const std::string unknown = at + " is not known yet; its key is " + key + ".";
  if (policy.acceptNew) return {Verdict::Remember, unknown + " Remembered in " + policy.knownFile + "."};
  if (policy.canAsk) return {Verdict::Ask, unknown + "\nCompare it with the key the console printed at start."};
  return {Verdict::Refuse, unknown + "\nCompare it with the key the console printed at start, then " + policy.again +
                                     " with --accept-new to remember it in " + policy.knownFile +
                                     ", or with --tls-fingerprint " + policy.pinPrefix + key + "."};
}

std::string trustQuestion(const TrustPolicy& policy) {
  return "Trust it and remember it in " + policy.knownFile + "? Answer yes, no or the key: ";
}

std::optional<bool> readTrustAnswer(std::string_view answer, const Sha256Digest& shown) {
  const std::string text = trimmedLower(answer);
  if (text == "yes") return true;
  if (text == "no" || text.empty()) return false;
  if (const auto typed = parseFingerprint(answer)) return *typed == shown;
  return std::nullopt;
}

}  // namespace vantrel::cli
