#pragma once
// The protocol's bytes inside TLS, over a connected socket that stays its owner's. One object
// owns the TLS session and makes every OpenSSL call on it under one lock, since a read may
// write (key updates, alerts) and sends come from two threads while one thread receives.
// OpenSSL works on memory buffers; the socket is read and written outside that lock, so that a
// receive waiting for the peer never holds up a send. Ciphertext leaves in the order OpenSSL
// made it. Once the socket fails, the stream is dead, and says so at every later call.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "net/byte_stream.h"
#include "net/net_socket.h"
#include "tls/openssl_handles.h"

namespace vantrel::cli {

// Why a handshake came to nothing.
struct TlsFailure {
  std::string reason;
  bool certificateRefused = false;  // the context's check of the peer's certificate failed
};

class TlsStream final : public ByteStream {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  // The handshake as the client: `host` is named to the server and, when the context verifies
  // certificates, checked against the one shown. Nothing, and `failure` filled in, when no
  // session came of it by `deadline`.
  static std::unique_ptr<TlsStream> connect(SSL_CTX& context, NetSocket& socket, const std::string& host,
                                            Deadline deadline, TlsFailure& failure);
  static std::unique_ptr<TlsStream> accept(SSL_CTX& context, NetSocket& socket, Deadline deadline,
                                           TlsFailure& failure);

  bool sendExact(std::span<const std::uint8_t> data) override;
  bool receiveExact(std::span<std::uint8_t> buffer) override;
  bool receiveExact(std::span<std::uint8_t> buffer, Deadline deadline) override;
  bool isAlive() const override { return alive_ && socket_.isAlive(); }
  void markDead() override { alive_ = false; }
  bool shutdownBoth() override;

  // The certificate the peer showed, owned by the session; null when it showed none.
  X509* peerCertificate() const;
  // "TLSv1.3 TLS_AES_256_GCM_SHA384"
  std::string description() const;

 private:
  // Plaintext handed to OpenSSL at a time: four records of 16 KiB, which leave in one send; the
  // buffers hold them with each record's framing and tag, and a receive takes as much.
  static constexpr std::size_t kWriteSpan = 4 * 16384;
  static constexpr std::size_t kBufferSpace = kWriteSpan + 4 * 256;

  TlsStream(SslPtr ssl, BIO* fromNetwork, BIO* toNetwork, NetSocket& socket, bool client);
  static std::unique_ptr<TlsStream> handshake(SSL_CTX& context, NetSocket& socket, const std::string* host,
                                              Deadline deadline, TlsFailure& failure);
  bool finishHandshake(Deadline deadline, TlsFailure& failure);
  // The failure of a handshake in words, where the peer's silence or first byte says more than
  // OpenSSL's `reason`: the protocol's clear peers speak only after the console's first word.
  std::string handshakeFailure(std::string reason, bool timedOut) const;
  bool receive(std::span<std::uint8_t> buffer, std::optional<Deadline> deadline);
  // Bytes from the socket for OpenSSL to read: as receiveSome counts them.
  std::ptrdiff_t fillInput(std::optional<Deadline> deadline);
  bool flushOutput();
  bool flushOutputLocked();  // sendLock_ held

  SslPtr ssl_;
  BIO* fromNetwork_;  // owned by ssl_
  BIO* toNetwork_;    // owned by ssl_
  NetSocket& socket_;
  const bool client_;
  std::optional<std::uint8_t> firstByte_;  // of all the peer sent
  std::mutex sslLock_;   // every call on ssl_ and its buffers
  std::mutex sendLock_;  // ciphertext onto the socket, in order
  std::atomic<bool> alive_{true};
  std::array<std::uint8_t, kBufferSpace> incoming_{};  // the receiving thread's
  std::array<std::uint8_t, kBufferSpace> outgoing_{};  // under sendLock_
};

}  // namespace vantrel::cli
