#pragma once
// The gateway's end of one console: a TCP connection, inside TLS unless the console is named
// clear, opened and its key trusted before a browser's byte goes to it. A TLS console is trusted
// as the tool's viewers trust one: its pin when it has one, else a CA bundle and the host name,
// else the known-consoles file, where a new console is remembered only with --accept-new (nobody
// is at a terminal to ask). One thread: the gateway's.

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/system/error_code.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tls/console_trust.h"
#include "tls/known_consoles.h"
#include "web/console_list.h"

namespace vantrel::cli {

struct ConsoleTrustSettings {
  std::optional<std::string> caFile;  // trust certificates for the host name signed by these
  std::optional<std::string> knownFile;
  bool acceptNew = false;
};

// What the gateway's TLS consoles have in common: the client context and the ways of trust.
class ConsoleTrust {
 public:
  // Nothing, and the reason in `error`, for a CA bundle that cannot be read or two ways at once.
  static std::unique_ptr<ConsoleTrust> create(const ConsoleTrustSettings& settings, std::string& error);

  boost::asio::ssl::context& context() { return context_; }
  bool byCa() const { return byCa_; }
  // Accept (with a note when the key was remembered just now) or Refuse, and why.
  TrustDecision decide(X509* shown, const std::string& name, const GatewayConsole& console) const;

 private:
  ConsoleTrust(boost::asio::ssl::context context, bool byCa, bool acceptNew, KnownConsolesFile known)
      : context_(std::move(context)), byCa_(byCa), acceptNew_(acceptNew), known_(std::move(known)) {}

  boost::asio::ssl::context context_;
  bool byCa_;
  bool acceptNew_;
  KnownConsolesFile known_;
};

struct ConsoleOpening {
  enum Result { Open, NoConnection, Untrusted } result = NoConnection;
  std::string text;  // why not; for an open one, a note or nothing
};

class ConsoleConnection {
 public:
  using Done = std::function<void(boost::system::error_code, std::size_t)>;
  using Opened = std::function<void(const ConsoleOpening&)>;

  // `trust` outlives the connection; it is not used for a clear console.
  static std::unique_ptr<ConsoleConnection> make(const boost::asio::any_io_executor& executor, std::string name,
                                                 const GatewayConsole& console, ConsoleTrust& trust);
  virtual ~ConsoleConnection() = default;

  // Connects (and for TLS, shakes hands and checks the key) within `limit`.
  virtual void open(std::chrono::seconds limit, Opened opened) = 0;
  virtual void readSome(boost::asio::mutable_buffer buffer, Done done) = 0;
  // Whether more of what the console sent is already here, for a read to take at once.
  virtual bool hasWaiting() = 0;
  virtual void write(boost::asio::const_buffer buffer, Done done) = 0;
  virtual void close() = 0;
  // "clear", or the TLS version and cipher.
  virtual std::string transport() = 0;
};

}  // namespace vantrel::cli
