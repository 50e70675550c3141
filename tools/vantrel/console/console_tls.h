#pragma once
// The console's TLS: the key and certificate it shows (given, or made once and kept in its state
// folder) and the channel its server lays over each viewer's connection. A handshake that fails
// is logged with its reason, since such a viewer never gets as far as a login line.

#include <functional>
#include <memory>
#include <string>

#include "commands.h"
#include "server/console_server.h"
#include "tls/server_tls.h"

namespace vantrel::cli {

class ConsoleTls {
 public:
  // Nothing, and the reason in `error`, when no key and certificate can be had.
  static std::unique_ptr<ConsoleTls> open(const ConsoleSettings& settings, std::string& error);

  const std::string& fingerprint() const { return tls_.keyFingerprint; }
  // Where the key comes from: "kept in FILE" or "from FILE".
  const std::string& origin() const { return tls_.origin; }

  // Each failed handshake goes to `log` as one line.
  ConsoleServer::SecureChannel channel(std::function<void(const std::string&)> log) const;

 private:
  explicit ConsoleTls(ServerTls tls) : tls_(std::move(tls)) {}

  ServerTls tls_;
};

}  // namespace vantrel::cli
