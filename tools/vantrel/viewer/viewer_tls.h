#pragma once
// TLS for snap and view: the secure channel of their ConsoleLink. The console's certificate is
// checked against a CA bundle and the host name in the handshake, or its key against a pin or
// the known-consoles file after it; either way before the link sends a byte of the login. A
// console not known yet is asked about on the terminal, with no connection held open meanwhile.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "net/byte_stream.h"
#include "net/net_socket.h"
#include "protocol/console_link.h"
#include "tls/console_trust.h"
#include "tls/known_consoles.h"
#include "tls/openssl_handles.h"

namespace vantrel::cli {

class ViewerTls {
 public:
  enum class Failure {
    None,
    NoSession,  // no TLS session came about
    Untrusted,  // the console's key or certificate was refused
    NotKnown,   // the console is new and a user at the terminal may accept it: askAndRemember()
  };

  // Nothing, and the reason in `error`, for a pin that is not one or a CA bundle that cannot be read.
  static std::unique_ptr<ViewerTls> create(const char* command, const ViewerTlsSettings& settings,
                                           std::uint16_t port, std::string& error);

  // Makes `options` carry the link's traffic inside TLS through this object, which outlives it.
  void attach(ConsoleLinkOptions& options);

  Failure failure() const { return failure_; }
  const std::string& failureText() const { return failureText_; }

  // After NotKnown: shows the key, asks on the terminal and remembers it when the user accepts.
  bool askAndRemember();

 private:
  ViewerTls(const char* command, SslContextPtr context, bool checkedByCa, TrustPolicy policy,
            KnownConsolesFile known, std::uint16_t port);
  std::unique_ptr<ByteStream> secure(NetSocket& connected, const std::string& host,
                                     std::chrono::steady_clock::time_point deadline);
  std::unique_ptr<ByteStream> fail(Failure failure, std::string text);

  const char* command_;
  SslContextPtr context_;
  bool checkedByCa_;
  TrustPolicy policy_;
  KnownConsolesFile known_;
  std::uint16_t port_;
  Failure failure_ = Failure::None;
  std::string failureText_;
  // The console that NotKnown was about.
  std::string host_;
  Sha256Digest shown_{};
};

}  // namespace vantrel::cli
