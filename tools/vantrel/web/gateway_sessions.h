#pragma once
// The gateway's connections, one browser each: HttpSession serves the page's files until the
// browser asks for a relay, and Relay carries its WebSocket to a console. Templates over the
// browser's stream, clear or inside TLS; gateway_clear.cpp and gateway_tls.cpp each make one
// kind, so that the two (heavy with Beast) compile side by side.

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <deque>
#include <optional>
#include <string_view>
#include <vector>

#include "web/gateway.h"
#include "web/relay_packing.h"

namespace vantrel::cli::gateway {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;
using Request = http::request<http::empty_body>;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// The close code that tells the page the gateway would not trust the console: no retrying.
inline constexpr auto kUntrustedConsole = static_cast<websocket::close_code>(4003);

inline constexpr std::string_view kRelayPrefix = "/ws/";
inline constexpr std::size_t kRequestHeaderLimit = 8192;
// The page may run the core's WebAssembly and talk back to where it came from, nothing else.
inline constexpr const char* kContentPolicy =
    "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; connect-src 'self'; frame-ancestors 'none'";

// What every connection of one gateway shares. One thread runs them all: no locks. Only the
// packing of messages for the browsers runs on workers (`packers`), each message handed over
// whole and handed back when packed.
struct Shared {
  const GatewayConfig& config;
  const PageFiles& page;
  ConsoleTrust* consoleTrust;
  asio::thread_pool& packers;
  std::size_t connections = 0;
  std::size_t sessions = 0;

  const GatewayLimits& limits() const { return config.limits; }
  void log(const std::string& line) const {
    if (config.log) config.log(line);
  }
};

// Counts its owner as open for as long as the owner lives.
class Counted {
 public:
  explicit Counted(std::size_t& count) : count_(count) { ++count_; }
  ~Counted() { --count_; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 private:
  std::size_t& count_;
};

// Ends the browser's side of a connection: a clear one at once, a TLS one after its closing
// alert (bounded by the stream's time limit).
inline void shutDown(beast::tcp_stream& stream) {
  ErrorCode ignored;
  stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
}
template <typename Owner>
void shutDown(TlsStream& stream, std::shared_ptr<Owner> owner) {
  beast::get_lowest_layer(stream).expires_after(std::chrono::seconds(5));
  stream.async_shutdown([owner](ErrorCode) {});
}

// Whether the page offers the subprotocol of packed messages (a list of tokens, commas between).
inline bool asksForPacking(const Request& request) {
  std::string_view offered = request[http::field::sec_websocket_protocol];
  while (!offered.empty()) {
    const auto comma = offered.find(',');
    std::string_view token = offered.substr(0, comma);
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
    if (token == web::kPackedSubprotocol) return true;
    offered = comma == std::string_view::npos ? std::string_view{} : offered.substr(comma + 1);
  }
  return false;
}

inline std::string peerOf(const tcp::socket& socket) {
  ErrorCode ec;
  const auto peer = socket.remote_endpoint(ec);
  return ec ? std::string("?") : peer.address().to_string() + ":" + std::to_string(peer.port());
}

// One browser's WebSocket relayed to one console, until either side ends it. What the console
// sends is gathered while the browser takes the last message, and while more of it is already
// waiting, and goes as the next one: few large messages rather than many small ones, and the end
// of what the console sent at once without delay. A page that asks for it gets each message
// packed (relay_packing.h).
template <typename Stream>
class Relay : public std::enable_shared_from_this<Relay<Stream>> {
 public:
  Relay(Shared& shared, Stream&& browser, std::string name, const GatewayConsole& console, std::string peer)
      : shared_(shared),
        counted_(shared.sessions),
        browser_(std::move(browser)),
        console_(ConsoleConnection::make(browser_.get_executor(), name, console, *shared.consoleTrust)),
        name_(std::move(name)),
        at_(console.target.host + ":" + std::to_string(console.target.port)),
        peer_(std::move(peer)),
        readBuffer_(std::make_unique_for_overwrite<std::uint8_t[]>(shared.limits().consoleRead)) {}

  ~Relay() {
    if (connected_) {
      shared_.log("browser " + peer_ + " left console " + name_ + " (" + std::to_string(toBrowser_) +
                  " bytes to the browser, " + std::to_string(fromBrowser_) + " from it)");
    }
  }

  void start(const Request& request) {
    const GatewayLimits& limits = shared_.limits();
    browser_.set_option(websocket::stream_base::timeout{limits.request, limits.browserIdle, true});
    packed_ = asksForPacking(request);
    browser_.set_option(websocket::stream_base::decorator([packed = packed_](websocket::response_type& response) {
      response.set(http::field::server, "vantrel");
      if (packed) response.set(http::field::sec_websocket_protocol, web::kPackedSubprotocol);
    }));
    browser_.read_message_max(limits.browserMessage);
    browser_.binary(true);
    browser_.auto_fragment(false);
    browser_.async_accept(request, [self = this->shared_from_this()](ErrorCode ec) {
      if (!ec) self->console_->open(self->shared_.limits().consoleConnect, [self](const ConsoleOpening& o) { self->opened(o); });
    });
  }

 private:
  void opened(const ConsoleOpening& opening) {
    if (opening.result != ConsoleOpening::Open) return noConsole(opening);
    connected_ = true;
    if (!opening.text.empty()) shared_.log(opening.text);
    shared_.log("browser " + peer_ + " relayed to console " + name_ + " at " + at_ + " (" + console_->transport() +
                (packed_ ? ", packed for the browser" : "") + ")");
    readBrowser();
    readConsole();
  }

  void noConsole(const ConsoleOpening& opening) {
    const bool untrusted = opening.result == ConsoleOpening::Untrusted;
    shared_.log("browser " + peer_ + ": " + (untrusted ? "refused console " : "no connection to console ") + name_ +
                " at " + at_ + ": " + opening.text);
    const websocket::close_reason reason =
        untrusted ? websocket::close_reason(kUntrustedConsole, "The gateway does not trust this console's key.")
                  : websocket::close_reason(websocket::close_code::try_again_later, "no connection to the console");
    browser_.async_close(reason, [self = this->shared_from_this()](ErrorCode) {});
  }

  // Browser to console: one message read, written whole, then the next read.
  void readBrowser() {
    browser_.async_read(fromBrowserBuffer_, [self = this->shared_from_this()](ErrorCode read, std::size_t) {
      if (read) return self->browserGone();
      self->console_->write(self->fromBrowserBuffer_.cdata(), [self](ErrorCode ec, std::size_t n) {
        if (ec) return self->consoleGone();
        self->fromBrowser_ += n;
        self->fromBrowserBuffer_.consume(n);
        self->readBrowser();
      });
    });
  }

  // Console to browser: reads go on while what is gathered stays under the bound.
  void readConsole() {
    if (consoleEnded_ || reading_ || gathered_.size() >= shared_.limits().queuedForBrowser) return;
    reading_ = true;
    console_->readSome({readBuffer_.get(), shared_.limits().consoleRead},
                       [self = this->shared_from_this()](ErrorCode ec, std::size_t n) {
                         self->reading_ = false;
                         if (ec) return self->consoleGone();
                         self->gathered_.commit(asio::buffer_copy(self->gathered_.prepare(n),
                                                                  asio::buffer(self->readBuffer_.get(), n)));
                         self->writeBrowser();
                         self->readConsole();
                       });
  }

  void writeBrowser() {
    if (writing_) return;
    if (gathered_.size() == 0) {
      if (consoleEnded_ && !browserEnded_) closeBrowser();
      return;
    }
    // The read that takes what is waiting comes back here.
    if (!consoleEnded_ && gathered_.size() < shared_.limits().browserGather && console_->hasWaiting()) return;
    std::swap(sending_, gathered_);
    writing_ = true;
    if (!packed_) return send(sending_.cdata());
    // Packed by a worker, while this thread goes on reading the console (and serving the other
    // browsers): until it is sent, the message is the worker's alone. The worker hands the
    // session back whole, so that it never ends on the worker's thread.
    asio::post(shared_.packers, [self = this->shared_from_this(), home = browser_.get_executor()]() mutable {
      const asio::const_buffer message = self->sending_.cdata();
      web::packMessage({static_cast<const std::uint8_t*>(message.data()), message.size()}, self->packedMessage_);
      asio::post(home, [self = std::move(self)] { self->send(asio::buffer(self->packedMessage_)); });
    });
  }

  void send(asio::const_buffer message) {
    browser_.async_write(message, [self = this->shared_from_this()](ErrorCode ec, std::size_t n) {
      self->writing_ = false;
      if (ec) return self->browserGone();
      self->toBrowser_ += n;
      self->sending_.clear();
      self->writeBrowser();
      self->readConsole();
    });
  }

  // The console closed or failed: what it sent still goes to the browser, then the close.
  void consoleGone() {
    if (consoleEnded_) return;
    consoleEnded_ = true;
    console_->close();
    if (!writing_) writeBrowser();
  }

  void browserGone() {
    browserEnded_ = true;
    consoleEnded_ = true;
    console_->close();
    beast::get_lowest_layer(browser_).close();
  }

  void closeBrowser() {
    browserEnded_ = true;
    browser_.async_close(websocket::close_code::normal, [self = this->shared_from_this()](ErrorCode) {});
  }

  Shared& shared_;
  Counted counted_;
  websocket::stream<Stream> browser_;
  std::unique_ptr<ConsoleConnection> console_;
  std::string name_;
  std::string at_;  // the console's HOST:PORT, for the log
  std::string peer_;
  std::unique_ptr<std::uint8_t[]> readBuffer_;
  beast::flat_buffer fromBrowserBuffer_;
  beast::flat_buffer gathered_;  // from the console, not yet sent
  beast::flat_buffer sending_;   // the message being written to the browser
  std::vector<std::uint8_t> packedMessage_;  // the same, packed, when the page asked for that
  bool packed_ = false;
  bool reading_ = false;
  bool writing_ = false;
  bool connected_ = false;
  bool consoleEnded_ = false;
  bool browserEnded_ = false;
  std::uint64_t toBrowser_ = 0;
  std::uint64_t fromBrowser_ = 0;
};

// A page from another site must not drive a browser's relay: an Origin, when sent, names this
// very host and port.
inline bool sameOrigin(const Request& request) {
  const auto origin = request[http::field::origin];
  if (origin.empty()) return true;
  const auto scheme = origin.find("://");
  return scheme != std::string_view::npos && origin.substr(scheme + 3) == request[http::field::host];
}

// One browser's HTTP connection, clear or inside TLS: requests for the page's files, until it
// asks for a relay.
template <typename Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
 public:
  template <typename... Tls>
  HttpSession(Shared& shared, tcp::socket&& socket, Tls&... tls)
      : shared_(shared), counted_(shared.connections), peer_(peerOf(socket)), stream_(std::move(socket), tls...) {}

  // A TLS connection shakes hands first, within the time of a request.
  void start() {
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      beast::get_lowest_layer(stream_).expires_after(shared_.limits().request);
      stream_.async_handshake(asio::ssl::stream_base::server, [self = this->shared_from_this()](ErrorCode ec) {
        if (ec) return self->shared_.log("no TLS session with browser " + self->peer_ + ": " + ec.message());
        self->read();
      });
    } else {
      read();
    }
  }

 private:
  void read() {
    parser_.emplace();
    parser_->header_limit(kRequestHeaderLimit);
    parser_->body_limit(0);
    beast::get_lowest_layer(stream_).expires_after(shared_.limits().request);
    http::async_read(stream_, buffer_, *parser_, [self = this->shared_from_this()](ErrorCode ec, std::size_t) {
      if (ec) return self->close();
      self->handle(self->parser_->release());
    });
  }

  void handle(Request request) {
    const std::string_view target(request.target().data(), request.target().size());
    if (websocket::is_upgrade(request)) return upgrade(std::move(request), target);
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      return reply(request, http::status::method_not_allowed, "text/plain", "only GET\n");
    }
    const PageFile* file = shared_.page.find(target);
    if (file == nullptr) return reply(request, http::status::not_found, "text/plain", "not found\n");
    reply(request, http::status::ok, file->contentType, file->body);
  }

  void upgrade(Request request, std::string_view target) {
    const std::string name(target.substr(0, target.find('?')).substr(std::min(target.size(), kRelayPrefix.size())));
    const auto console = shared_.config.consoles.find(name);
    if (!target.starts_with(kRelayPrefix) || console == shared_.config.consoles.end()) {
      shared_.log("refused: browser " + peer_ + " asked for a console this gateway does not serve ('" +
                  std::string(target.substr(0, 80)) + "')");
      return reply(request, http::status::not_found, "text/plain", "no such console\n");
    }
    if (!sameOrigin(request)) {
      shared_.log("refused: browser " + peer_ + " came from a page of another site (" +
                  std::string(request[http::field::origin]) + ")");
      return reply(request, http::status::forbidden, "text/plain", "another site's page\n");
    }
    if (shared_.sessions >= shared_.limits().sessions) {
      shared_.log("refused: browser " + peer_ + ": already " + std::to_string(shared_.sessions) + " sessions");
      return reply(request, http::status::service_unavailable, "text/plain", "too many sessions\n");
    }
    beast::get_lowest_layer(stream_).expires_never();  // the WebSocket keeps its own time
    std::make_shared<Relay<Stream>>(shared_, std::move(stream_), name, console->second, peer_)->start(request);
  }

  void reply(const Request& request, http::status status, std::string_view type, std::string_view body) {
    auto response = std::make_shared<http::response<http::string_body>>(status, request.version());
    response->set(http::field::server, "vantrel");
    response->set(http::field::content_type, type);
    response->set(http::field::cache_control, "no-cache");
    response->set("X-Content-Type-Options", "nosniff");
    response->set("Content-Security-Policy", kContentPolicy);
    if (request.method() != http::verb::head) response->body() = std::string(body);
    response->prepare_payload();
    if (request.method() == http::verb::head) response->content_length(body.size());
    response->keep_alive(request.keep_alive() && status == http::status::ok);
    http::async_write(stream_, *response, [self = this->shared_from_this(), response](ErrorCode ec, std::size_t) {
      if (ec || !response->keep_alive()) return self->close();
      self->read();
    });
  }

  void close() {
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      shutDown(stream_, this->shared_from_this());
    } else {
      shutDown(stream_);
    }
  }

  Shared& shared_;
  Counted counted_;
  std::string peer_;
  Stream stream_;
  beast::flat_buffer buffer_{kRequestHeaderLimit};
  std::optional<http::request_parser<http::empty_body>> parser_;
};

// A browser's connection, served until it ends: clear, or inside TLS with `tls`.
void serveBrowser(Shared& shared, tcp::socket socket);
void serveBrowser(Shared& shared, tcp::socket socket, asio::ssl::context& tls);

}  // namespace vantrel::cli::gateway
