#include "tls/tls_stream.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "tls/tls_contexts.h"

namespace vantrel::cli {
namespace {

// The result of the certificate check, when the context makes one.
long certificateCheck(SSL* ssl) {
  return (SSL_get_verify_mode(ssl) & SSL_VERIFY_PEER) != 0 ? SSL_get_verify_result(ssl) : X509_V_OK;
}

// Why OpenSSL gave up on a handshake, with the certificate check's own reason.
std::string openSslFailure(SSL* ssl, int status) {
  if (status == SSL_ERROR_ZERO_RETURN) return "the other end ended the session";
  std::string reason = openSslReason("no reason given");
  if (const long checked = certificateCheck(ssl); checked != X509_V_OK) {
    reason += std::string(": ") + X509_verify_cert_error_string(checked);
  }
  return reason;
}

}  // namespace

std::unique_ptr<TlsStream> TlsStream::connect(SSL_CTX& context, NetSocket& socket, const std::string& host,
                                              Deadline deadline, TlsFailure& failure) {
  return handshake(context, socket, &host, deadline, failure);
}

std::unique_ptr<TlsStream> TlsStream::accept(SSL_CTX& context, NetSocket& socket, Deadline deadline,
                                             TlsFailure& failure) {
  return handshake(context, socket, nullptr, deadline, failure);
}

std::unique_ptr<TlsStream> TlsStream::handshake(SSL_CTX& context, NetSocket& socket, const std::string* host,
                                                Deadline deadline, TlsFailure& failure) {
  ERR_clear_error();
  SslPtr ssl(SSL_new(&context));
  BIO* fromNetwork = BIO_new(BIO_s_mem());
  BIO* toNetwork = BIO_new(BIO_s_mem());
  if (!ssl || fromNetwork == nullptr || toNetwork == nullptr) {
    BIO_free(fromNetwork);
    BIO_free(toNetwork);
    failure.reason = "cannot start a TLS session: " + openSslReason("out of memory");
    return nullptr;
  }
  BIO_set_mem_eof_return(fromNetwork, -1);  // nothing to read yet is not the end
  SSL_set_bio(ssl.get(), fromNetwork, toNetwork);
  if (host != nullptr) {
    SSL_set_connect_state(ssl.get());
    if (!nameServer(ssl.get(), *host)) {
      failure.reason = "cannot name '" + *host + "' to TLS: " + openSslReason("not a usable name");
      return nullptr;
    }
  } else {
    SSL_set_accept_state(ssl.get());
  }
  std::unique_ptr<TlsStream> stream(new TlsStream(std::move(ssl), fromNetwork, toNetwork, socket, host != nullptr));
  if (!stream->finishHandshake(deadline, failure)) return nullptr;
  return stream;
}

TlsStream::TlsStream(SslPtr ssl, BIO* fromNetwork, BIO* toNetwork, NetSocket& socket, bool client)
    : ssl_(std::move(ssl)), fromNetwork_(fromNetwork), toNetwork_(toNetwork), socket_(socket), client_(client) {}

bool TlsStream::finishHandshake(Deadline deadline, TlsFailure& failure) {
  for (;;) {
    int status = SSL_ERROR_NONE;
    std::string reason;
    {
      const std::lock_guard guard(sslLock_);
      ERR_clear_error();
      const int result = SSL_do_handshake(ssl_.get());
      if (result != 1) status = SSL_get_error(ssl_.get(), result);
      if (status != SSL_ERROR_NONE && status != SSL_ERROR_WANT_READ) {
        reason = "the TLS handshake failed: " + openSslFailure(ssl_.get(), status);
        failure.certificateRefused = certificateCheck(ssl_.get()) != X509_V_OK;
      }
    }
    // Our last flight, or the alert that tells the peer why we give up.
    const bool sent = flushOutput();
    if (status == SSL_ERROR_NONE && sent) return true;
    std::ptrdiff_t got = -1;
    if (status == SSL_ERROR_WANT_READ && sent && (got = fillInput(deadline)) > 0) continue;
    if (reason.empty()) {
      reason = got == 0 ? "the other end closed the connection in the TLS handshake"
                        : "the connection failed in the TLS handshake";
    }
    failure.reason = handshakeFailure(reason, got < 0 && std::chrono::steady_clock::now() >= deadline);
    markDead();
    return false;
  }
}

std::string TlsStream::handshakeFailure(std::string reason, bool timedOut) const {
  // Every TLS record starts with a content type from 20 to 24.
  if (firstByte_ && (*firstByte_ < 20 || *firstByte_ > 24)) {
    return client_ ? "the other end answered without TLS (is it a console without --tls?)"
                   : "the other end does not speak TLS";
  }
  if (timedOut && !firstByte_ && !client_) {
    return "nothing came in time (a viewer without TLS waits for the console to speak first)";
  }
  if (timedOut) return "the TLS handshake did not finish in time";
  return reason;
}

bool TlsStream::sendExact(std::span<const std::uint8_t> data) {
  const std::lock_guard sending(sendLock_);
  while (!data.empty()) {
    if (!isAlive()) return false;
    std::size_t written = 0;
    bool accepted = false;
    {
      const std::lock_guard guard(sslLock_);
      ERR_clear_error();
      accepted = SSL_write_ex(ssl_.get(), data.data(), std::min(data.size(), kWriteSpan), &written) == 1;
      if (!accepted) ERR_clear_error();
    }
    if (!accepted) {
      markDead();
      return false;
    }
    data = data.subspan(written);
    if (!flushOutputLocked()) return false;
  }
  return true;
}

bool TlsStream::receiveExact(std::span<std::uint8_t> buffer) { return receive(buffer, std::nullopt); }

bool TlsStream::receiveExact(std::span<std::uint8_t> buffer, Deadline deadline) { return receive(buffer, deadline); }

bool TlsStream::receive(std::span<std::uint8_t> buffer, std::optional<Deadline> deadline) {
  while (!buffer.empty() && isAlive()) {
    std::size_t got = 0;
    int status = SSL_ERROR_NONE;
    bool replied = false;
    {
      const std::lock_guard guard(sslLock_);
      ERR_clear_error();
      const int result = SSL_read_ex(ssl_.get(), buffer.data(), buffer.size(), &got);
      if (result != 1) status = SSL_get_error(ssl_.get(), result);
      ERR_clear_error();
      replied = BIO_ctrl_pending(toNetwork_) > 0;
    }
    if (replied && !flushOutput()) break;
    buffer = buffer.subspan(got);
    if (status == SSL_ERROR_NONE) continue;
    // Anything else than "more bytes, please" ends the session: the peer's close, an alert,
    // a record that does not decrypt.
    if (status != SSL_ERROR_WANT_READ || fillInput(deadline) <= 0) break;
  }
  if (!buffer.empty()) markDead();
  return buffer.empty();
}

std::ptrdiff_t TlsStream::fillInput(std::optional<Deadline> deadline) {
  const std::ptrdiff_t got = deadline ? socket_.receiveSome(incoming_, *deadline) : socket_.receive(incoming_);
  if (got <= 0) return got;
  if (!firstByte_) firstByte_ = incoming_[0];
  const std::lock_guard guard(sslLock_);
  // OpenSSL has taken all it had before asking for more, so this holds at most one read's worth.
  return BIO_write(fromNetwork_, incoming_.data(), static_cast<int>(got)) == got ? got : -1;
}

bool TlsStream::flushOutput() {
  const std::lock_guard sending(sendLock_);
  return flushOutputLocked();
}

bool TlsStream::flushOutputLocked() {
  for (;;) {
    int length = 0;
    {
      const std::lock_guard guard(sslLock_);
      length = BIO_read(toNetwork_, outgoing_.data(), static_cast<int>(outgoing_.size()));
    }
    if (length <= 0) return true;
    if (!socket_.sendExact(std::span(outgoing_).first(static_cast<std::size_t>(length)))) {
      markDead();
      return false;
    }
  }
}

bool TlsStream::shutdownBoth() {
  markDead();
  return socket_.shutdownBoth();
}

X509* TlsStream::peerCertificate() const { return SSL_get0_peer_certificate(ssl_.get()); }

std::string TlsStream::description() const {
  return std::string(SSL_get_version(ssl_.get())) + " " + SSL_get_cipher_name(ssl_.get());
}

}  // namespace vantrel::cli
