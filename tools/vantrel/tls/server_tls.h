#pragma once
// What a TLS server of ours (the console, the browser gateway) starts with: the identity an
// administrator gave or the one kept in its state folder, the context that serves it, and the
// fingerprints it prints at start.

#include <optional>
#include <string>
#include <string_view>

#include "tls/openssl_handles.h"

namespace vantrel::cli {

struct ServerTlsFiles {
  std::optional<std::string> certificate;  // with its chain after it
  std::optional<std::string> key;          // the certificate's file unless given
  std::optional<std::string> stateDir;     // where a made key is kept (NAME.pem)
};

struct ServerTls {
  SslContextPtr context;
  std::string keyFingerprint;     // SHA256:..., what a pin names
  std::string certificateDigest;  // the whole certificate's SHA-256 in hex pairs, as browsers show it
  std::string origin;             // "kept in FILE" or "from FILE"
};

// Nothing, and the reason in `error`, when no key and certificate can be had.
std::optional<ServerTls> openServerTls(const ServerTlsFiles& files, std::string_view keptName, std::string& error);

}  // namespace vantrel::cli
