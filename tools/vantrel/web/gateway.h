#pragma once
// The browser's way in: serves the page's files over HTTPS (or clear HTTP for a local try) and
// relays each browser's WebSocket to one of the consoles it was told about, by name, inside TLS
// unless that console is clear. Boost.Beast over Asio on one thread (the packing of messages for
// the browsers aside, on workers); every browser has its own session, and a slow or vanished one
// stalls nobody else: each socket has one write in flight, reading pauses while a bounded buffer
// is full, and time limits end the rest. It only carries bytes; the protocol is the page's
// business (its core, in WebAssembly).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tls/openssl_handles.h"
#include "web/console_connection.h"
#include "web/console_list.h"
#include "web/page_files.h"

namespace vantrel::cli {

struct GatewayLimits {
  std::size_t connections = 256;  // HTTP connections open at once, WebSockets included
  std::size_t sessions = 32;      // WebSockets relayed at once
  // The largest WebSocket message a browser may send: the longest clipboard text the viewer
  // sends, its header, and room for key and pointer events batched with it.
  std::size_t browserMessage = 204800 + 8 + 4096;
  std::size_t consoleRead = 256 * 1024;          // one read from the console at most
  // While more of the console's bytes are waiting, they gather into messages of this size: the
  // browser pays for every message it takes, more than for its bytes.
  std::size_t browserGather = 512 * 1024;
  std::size_t queuedForBrowser = 2048 * 1024;    // reading from the console pauses beyond this
  std::chrono::seconds request{30};              // a whole HTTP request, and a WebSocket handshake
  std::chrono::seconds consoleConnect{15};
  std::chrono::seconds browserIdle{120};         // a browser that answers no ping for this long is dropped
};

struct GatewayConfig {
  std::string listen = "127.0.0.1";
  std::uint16_t port = 8080;  // 0: any free port
  ConsoleList consoles;
  GatewayLimits limits;
  SslContextPtr https;                        // the page over HTTPS with this; clear HTTP without
  std::unique_ptr<ConsoleTrust> consoleTrust;  // how the TLS consoles' keys are trusted
  // The gateway's log lines (browsers connecting and leaving, refusals).
  std::function<void(const std::string&)> log;
};

class Gateway {
 public:
  Gateway(GatewayConfig config, PageFiles page);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Binds the listening socket; false with the reason in `error`.
  bool listen(std::string& error);
  std::uint16_t port() const;
  // Serves until stop() or SIGINT / SIGTERM (when `signals`).
  void run(bool signals);
  // From any thread.
  void stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel::cli
