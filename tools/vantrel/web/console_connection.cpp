#include "web/console_connection.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include "tls/shown_key.h"
#include "tls/tls_contexts.h"

namespace vantrel::cli {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

// Connects, then hands over to the transport's own `secured` step; reading and writing go to
// its stream.
template <typename Stream>
class Connection : public ConsoleConnection {
 public:
  template <typename... Args>
  Connection(const asio::any_io_executor& executor, std::string name, const GatewayConsole& console, Args&&... args)
      : stream_(executor, std::forward<Args>(args)...), resolver_(executor), name_(std::move(name)), console_(console) {}

  void open(std::chrono::seconds limit, Opened opened) override {
    opened_ = std::move(opened);
    tcpStream().expires_after(limit);
    resolver_.async_resolve(console_.target.host, std::to_string(console_.target.port),
                            [this](ErrorCode ec, const tcp::resolver::results_type& found) {
                              if (ec) return fail(ec.message());
                              tcpStream().async_connect(found, [this](ErrorCode connected, const tcp::endpoint&) {
                                if (connected) return fail(connected.message());
                                ErrorCode ignored;
                                tcpStream().socket().set_option(tcp::no_delay(true), ignored);
                                secure();
                              });
                            });
  }

  void readSome(asio::mutable_buffer buffer, Done done) override { stream_.async_read_some(buffer, std::move(done)); }
  bool hasWaiting() override {
    ErrorCode ignored;
    return tcpStream().socket().available(ignored) > 0 || heldByTransport();
  }
  void write(asio::const_buffer buffer, Done done) override { asio::async_write(stream_, buffer, std::move(done)); }
  void close() override {
    ErrorCode ignored;
    resolver_.cancel();
    tcpStream().socket().close(ignored);
  }

 protected:
  beast::tcp_stream& tcpStream() { return beast::get_lowest_layer(stream_); }
  virtual void secure() = 0;
  virtual bool heldByTransport() { return false; }

  void opened(std::string note = {}) {
    tcpStream().expires_never();
    std::exchange(opened_, {})({ConsoleOpening::Open, std::move(note)});
  }
  void fail(std::string reason, ConsoleOpening::Result result = ConsoleOpening::NoConnection) {
    std::exchange(opened_, {})({result, std::move(reason)});
  }

  Stream stream_;
  tcp::resolver resolver_;
  std::string name_;
  const GatewayConsole& console_;
  Opened opened_;
};

class ClearConnection final : public Connection<beast::tcp_stream> {
 public:
  using Connection::Connection;
  std::string transport() override { return "clear"; }

 private:
  void secure() override { opened(); }
};

class TlsConnection final : public Connection<asio::ssl::stream<beast::tcp_stream>> {
 public:
  TlsConnection(const asio::any_io_executor& executor, std::string name, const GatewayConsole& console,
                ConsoleTrust& trust)
      : Connection(executor, std::move(name), console, trust.context()), trust_(trust) {}

  std::string transport() override {
    SSL* ssl = stream_.native_handle();
    return std::string(SSL_get_version(ssl)) + " " + SSL_CIPHER_get_name(SSL_get_current_cipher(ssl));
  }

 private:
  // Plain text TLS has opened and not yet handed out, or records it has been given and not yet opened.
  bool heldByTransport() override {
    SSL* ssl = stream_.native_handle();
    return SSL_pending(ssl) > 0 || BIO_ctrl_pending(SSL_get_rbio(ssl)) > 0;
  }

  void secure() override {
    // A pinned console is checked by its key alone, even where a CA bundle checks the others.
    if (console_.pin && trust_.byCa()) SSL_set_verify(stream_.native_handle(), SSL_VERIFY_NONE, nullptr);
    if (!nameServer(stream_.native_handle(), console_.target.host)) return fail("cannot name the console to TLS");
    stream_.async_handshake(asio::ssl::stream_base::client, [this](ErrorCode ec) {
      if (ec) {
        const long checked = SSL_get_verify_result(stream_.native_handle());
        const bool refused = ec.category() == asio::error::get_ssl_category() && checked != X509_V_OK;
        return fail("no TLS session: " + ec.message() +
                        (refused ? std::string(": ") + X509_verify_cert_error_string(checked) : std::string()),
                    refused ? ConsoleOpening::Untrusted : ConsoleOpening::NoConnection);
      }
      const X509Ptr shown(SSL_get1_peer_certificate(stream_.native_handle()));
      TrustDecision decision = trust_.decide(shown.get(), name_, console_);
      if (decision.verdict != Verdict::Accept) return fail(std::move(decision.text), ConsoleOpening::Untrusted);
      opened(std::move(decision.text));
    });
  }

  ConsoleTrust& trust_;
};

}  // namespace

std::unique_ptr<ConsoleTrust> ConsoleTrust::create(const ConsoleTrustSettings& settings, std::string& error) {
  if (settings.caFile && (settings.knownFile || settings.acceptNew)) {
    error = "--tls-ca and the known consoles (--known-consoles, --accept-new) are two ways to trust a console: "
            "choose one (--tls-fingerprint NAME=KEY goes with either)";
    return nullptr;
  }
  SslContextPtr context = clientContext(settings.caFile, error);
  if (!context) return nullptr;
  KnownConsolesFile known(settings.knownFile ? std::filesystem::path(*settings.knownFile)
                                             : KnownConsolesFile::defaultPath());
  return std::unique_ptr<ConsoleTrust>(new ConsoleTrust(asio::ssl::context(context.release()),
                                                        settings.caFile.has_value(), settings.acceptNew,
                                                        std::move(known)));
}

TrustDecision ConsoleTrust::decide(X509* shown, const std::string& name, const GatewayConsole& console) const {
  if (byCa_ && !console.pin) return {Verdict::Accept, {}};  // the handshake checked the chain and the name
  const TrustPolicy policy{console.pin, acceptNew_, false, known_.path().string(), "start vantrel web again",
                           name + "="};
  return checkShownKey(shown, console.target.host, console.target.port, policy, known_).decision;
}

std::unique_ptr<ConsoleConnection> ConsoleConnection::make(const asio::any_io_executor& executor, std::string name,
                                                           const GatewayConsole& console, ConsoleTrust& trust) {
  if (console.clear) return std::make_unique<ClearConnection>(executor, std::move(name), console);
  return std::make_unique<TlsConnection>(executor, std::move(name), console, trust);
}

}  // namespace vantrel::cli
