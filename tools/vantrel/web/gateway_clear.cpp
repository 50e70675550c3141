// The gateway's clear connections: HTTP, and WebSockets relayed from it.
#include "web/gateway_sessions.h"

namespace vantrel::cli::gateway {

void serveBrowser(Shared& shared, tcp::socket socket) {
  std::make_shared<HttpSession<beast::tcp_stream>>(shared, std::move(socket))->start();
}

}  // namespace vantrel::cli::gateway
