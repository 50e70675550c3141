#include "net/tls_settings.h"

#include "catalog/profile_reader.h"
#include "diag/trace_log.h"

namespace vantrel {

TlsSettings readTlsSettings(const std::string& path) {
  const auto read = [&path](std::string_view key) { return readProfileString(TlsSettings::kSection, key, "", path); };
  TlsSettings settings;
  settings.traceFile = read("TraceFile");
  if (settings.traceFile.empty()) settings.traceFile = TraceLog::kDefaultName;

  const std::string tls = read("Tls");
  if (tls.empty() || tls == "0") return settings;
  settings.mode = TlsSettings::Mode::Refused;
  if (tls != "1") {
    settings.refusal = "[NET] Tls=" + tls + " is neither 1 (TLS) nor 0 (clear)";
    return settings;
  }
  const std::string pin = read("TlsFingerprint");
  if (pin.empty()) {
    settings.refusal = "[NET] Tls=1 needs TlsFingerprint=SHA256:... (the console prints its fingerprint at start)";
  } else if (const auto digest = parseFingerprint(pin)) {
    settings.mode = TlsSettings::Mode::Pinned;
    settings.pin = *digest;
  } else {
    settings.refusal = "[NET] TlsFingerprint=" + pin + " is not SHA256: and 43 base64 characters";
  }
  return settings;
}

}  // namespace vantrel
