// The gateway's connections inside TLS: HTTPS, and WebSockets relayed from it.
#include "web/gateway_sessions.h"

namespace vantrel::cli::gateway {

void serveBrowser(Shared& shared, tcp::socket socket, asio::ssl::context& tls) {
  std::make_shared<HttpSession<TlsStream>>(shared, std::move(socket), tls)->start();
}

}  // namespace vantrel::cli::gateway
