#include "web/gateway.h"

#include <algorithm>
#include <csignal>
#include <thread>

#include "web/gateway_sessions.h"

namespace vantrel::cli {

using namespace gateway;

class Gateway::Impl {
 public:
  Impl(GatewayConfig config, PageFiles page)
      : config_(std::move(config)),
        page_(std::move(page)),
        shared_{config_, page_, config_.consoleTrust.get(), packers_} {
    if (config_.https) https_.emplace(config_.https.release());
  }

  bool listen(std::string& error) {
    ErrorCode ec;
    const auto address = asio::ip::make_address(config_.listen, ec);
    if (ec) {
      error = "'" + config_.listen + "' is not an IP address";
      return false;
    }
    const tcp::endpoint endpoint(address, config_.port);
    if (acceptor_.open(endpoint.protocol(), ec) || acceptor_.set_option(tcp::acceptor::reuse_address(true), ec) ||
        acceptor_.bind(endpoint, ec) || acceptor_.listen(asio::socket_base::max_listen_connections, ec)) {
      error = "cannot listen on " + config_.listen + " port " + std::to_string(config_.port) + ": " + ec.message();
      return false;
    }
    return true;
  }

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

  void run(bool signals) {
    if (signals) {
      signals_.add(SIGINT);
      signals_.add(SIGTERM);
      signals_.async_wait([this](ErrorCode ec, int) {
        if (!ec) stop();
      });
    }
    accept();
    io_.run();
  }

  void stop() {
    asio::post(io_, [this] {
      ErrorCode ignored;
      acceptor_.close(ignored);
      signals_.cancel(ignored);
      io_.stop();
    });
  }

 private:
  void accept() {
    acceptor_.async_accept([this](ErrorCode ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) return;
      if (!ec) {
        // The end of each update must not wait for the browser's acknowledgement of what went
        // before (Nagle's rule against the receiver's delayed acknowledgement).
        socket.set_option(tcp::no_delay(true), ec);
        if (shared_.connections >= config_.limits.connections) {
          // the socket closes as it goes out of scope
        } else if (https_) {
          serveBrowser(shared_, std::move(socket), *https_);
        } else {
          serveBrowser(shared_, std::move(socket));
        }
      }
      accept();
    });
  }

  GatewayConfig config_;
  PageFiles page_;
  Shared shared_;
  std::optional<asio::ssl::context> https_;
  asio::io_context io_{1};
  tcp::acceptor acceptor_{io_};
  asio::signal_set signals_{io_};
  // A worker per processor but the one that runs the connections: packing is the gateway's
  // heaviest work, and the connections go on meanwhile. Declared last so that it ends first,
  // while the connections' context is still there to take back what a worker finishes.
  asio::thread_pool packers_{std::max(2u, std::thread::hardware_concurrency()) - 1};
};

Gateway::Gateway(GatewayConfig config, PageFiles page)
    : impl_(std::make_unique<Impl>(std::move(config), std::move(page))) {}
Gateway::~Gateway() = default;
bool Gateway::listen(std::string& error) { return impl_->listen(error); }
std::uint16_t Gateway::port() const { return impl_->port(); }
void Gateway::run(bool signals) { impl_->run(signals); }
void Gateway::stop() { impl_->stop(); }

}  // namespace vantrel::cli
