#pragma once
// What consoleclient.ini says about the link's security, in section [NET]. Tls=1 with
// TlsFingerprint=SHA256:... carries the session inside TLS, pinned to the console's key; without
// Tls, or with Tls=0, the link stays clear as it always was. An opt-in that cannot be followed (no
// pin, a pin that cannot be read, a Tls value that is neither 0 nor 1) refuses every connection
// rather than fall back to a clear or an unverified one.

#include <string>

#include "net/fingerprint.h"

namespace vantrel {

struct TlsSettings {
  static constexpr const char* kSection = "NET";
  enum class Mode { Clear, Pinned, Refused };

  Mode mode = Mode::Clear;
  Sha256Digest pin{};        // Pinned: the console's key must have this digest
  std::string refusal;       // Refused: why, for the trace
  std::string traceFile;     // where the reason of a failed secure connection goes
};

// Reads [NET] Tls, TlsFingerprint and TraceFile from the ini file at `path` through the
// system's profile reader.
TlsSettings readTlsSettings(const std::string& path);

}  // namespace vantrel
