#pragma once
// The console's TLS: the key and certificate it shows (given, or made once and kept in its state
// folder) and the channel its server lays over each viewer's connection. A handshake that fails
// is logged with its reason, since such a viewer never gets as far as a login line.

#include <functional>
#include <memory>
#include <string>

#include "commands.h"
#include "server/console_server.h"
#include "tls/openssl_handles.h"

namespace vantrel::cli {

class ConsoleTls {
 public:
  // Nothing, and the reason in `error`, when no key and certificate can be had.
  static std::unique_ptr<ConsoleTls> open(const ConsoleSettings& settings, std::string& error);

  const std::string& fingerprint() const { return fingerprint_; }
  // Where the key comes from: "kept in FILE" or "from FILE".
  const std::string& origin() const { return origin_; }

  // Each failed handshake goes to `log` as one line.
  ConsoleServer::SecureChannel channel(std::function<void(const std::string&)> log) const;

 private:
  ConsoleTls(SslContextPtr context, std::string fingerprint, std::string origin)
      : context_(std::move(context)), fingerprint_(std::move(fingerprint)), origin_(std::move(origin)) {}

  SslContextPtr context_;
  std::string fingerprint_;
  std::string origin_;
};

}  // namespace vantrel::cli
