#include "viewer/viewer_login.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "catalog/ini_file.h"
#include "catalog/keyed_catalog.h"
#include "catalog/message_catalog.h"
#include "commands.h"
#include "english_catalog.h"
#include "protocol/login_status.h"
#include "status_words.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

std::string oneLine(std::string text) {
  for (auto& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// A host on this machine's loopback network, where a clear password does not cross a wire.
bool isLoopback(const std::string& host) {
  return (ntohl(NetSocket::resolve(host)) >> 24) == 127;
}

}  // namespace

std::optional<Target> viewerTarget(const std::string& text, const std::optional<std::string>& catalogDir,
                                   std::string& error) {
  Target t;
  const auto colon = text.rfind(':');
  t.host = text.substr(0, colon);
  if (colon != std::string::npos) {
    unsigned value = 0;
    const std::string port = text.substr(colon + 1);
    const auto [end, failed] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (failed != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
      error = "'" + port + "' is not a port number (1 to 65535)";
      return std::nullopt;
    }
    t.port = static_cast<std::uint16_t>(value);
  }
  if (t.host.empty()) {
    error = "no host in '" + text + "'";
    return std::nullopt;
  }
  if (catalogDir && !std::filesystem::is_regular_file(std::filesystem::path(*catalogDir) / "consoleclient.ini")) {
    error = "no consoleclient.ini in '" + *catalogDir + "'";
    return std::nullopt;
  }
  return t;
}

class ViewerMessages::Printed final : public MessageBoxPort {
 public:
  explicit Printed(const std::optional<std::string>& catalogDir)
      : english_("",
                 [](std::string_view section, std::string_view key, std::string_view fallback, const std::string&) {
                   return findIniValue(kEnglishCatalog, section, key).value_or(std::string(fallback));
                 }),
        keys_(keyedCatalog()) {
    if (catalogDir) fromFile_.emplace(*catalogDir);
  }

  void show(WindowRef, const std::string& text, const std::string&, unsigned) override {
    ++shown_;
    const auto key = catalogKeyOf(text);
    if (!key) {
      std::fprintf(stderr, "%s: %s\n", prefix_, oneLine(text).c_str());
      return;
    }
    const MessageCatalog& texts = fromFile_ ? *fromFile_ : english_;
    const std::string words = oneLine(texts.lookupText(MessageCatalog::kSection, *key, 0));
    std::fprintf(stderr, "%s: %s (%s)\n", prefix_, words.c_str(), key->c_str());
  }

  const MessageCatalog& keys() const { return keys_; }
  void loggedIn() { prefix_ = "message"; }
  unsigned shown() const { return shown_; }

 private:
  MessageCatalog english_;
  std::optional<MessageCatalog> fromFile_;
  MessageCatalog keys_;
  const char* prefix_ = "refused";
  unsigned shown_ = 0;
};

ViewerMessages::ViewerMessages(const std::optional<std::string>& catalogDir)
    : printed_(std::make_unique<Printed>(catalogDir)) {
  messages_.boxes = printed_.get();
  messages_.catalog = &printed_->keys();
}

ViewerMessages::~ViewerMessages() = default;

void ViewerMessages::loggedIn() { printed_->loggedIn(); }

unsigned ViewerMessages::shown() const { return printed_->shown(); }

int logInAsViewer(const char* command, ConsoleLink& link, const Target& target, const std::string& user,
                  const std::string& password, ViewerMessages& messages,
                  std::chrono::steady_clock::time_point& deadline, ViewerTls* tls) {
  if (!tls && !isLoopback(target.host)) {
    std::fprintf(stderr,
                 "vantrel %s: warning: the password goes to %s without TLS, where anyone on the way can read it and "
                 "log in with it; --tls protects it (the console needs --tls too)\n",
                 command, target.host.c_str());
  }
  int login = link.connectAndLogin(target.host, kLoginRequest, user, password);
  if (login == 0 && tls && tls->failure() == ViewerTls::Failure::NotKnown) {
    // The console gave up on the connection while the user read; the next one meets a known key.
    const auto asked = std::chrono::steady_clock::now();
    if (!tls->askAndRemember()) {
      std::fprintf(stderr, "vantrel %s: the console is not trusted; nothing was sent to it\n", command);
      return kExitUntrusted;
    }
    deadline += std::chrono::steady_clock::now() - asked;
    login = link.connectAndLogin(target.host, kLoginRequest, user, password);
  }
  if (login == 0 && tls && tls->failure() != ViewerTls::Failure::None) {
    std::fprintf(stderr, "vantrel %s: %s\n", command, tls->failureText().c_str());
    if (tls->failure() != ViewerTls::Failure::NoSession) return kExitUntrusted;
    return std::chrono::steady_clock::now() >= deadline - 100ms ? kExitTimeOut : kExitNoConnection;
  }
  if (login == 0) {
    // The status wait ends with the time-out, give or take the timer's grain.
    if (std::chrono::steady_clock::now() >= deadline - 100ms) {
      std::fprintf(stderr, "vantrel %s: no answer from %s within the time-out\n", command, target.host.c_str());
      return kExitTimeOut;
    }
    std::fprintf(stderr, "vantrel %s: no connection to %s port %u\n", command, target.host.c_str(), target.port);
    return kExitNoConnection;
  }
  if (login != 1) {
    // After the credentials the third failure's box is the host's to show, as ClientRun does.
    if (login == static_cast<int>(kStatusThirdFailure) && messages.shown() == 0) {
      messages.messages().showCatalogBox(nullptr, "ThreeTimeFailed");
    }
    if (const auto word = link.lastStatus(); word && viewerReadsDifferently(*word)) {
      std::fprintf(stderr, "hint: the console answered %u: %s\n", *word, std::string(consoleMeaning(*word)).c_str());
    }
    return kExitRefused;
  }
  messages.loggedIn();
  return kExitOk;
}

}  // namespace vantrel::cli
