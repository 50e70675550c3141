#include "viewer/viewer_login.h"

#include <arpa/inet.h>

#include <cstdio>
#include <filesystem>

#include "address_text.h"
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
  return host == "::1" || (ntohl(NetSocket::resolve(host)) >> 24) == 127;
}

}  // namespace

std::optional<Target> viewerTarget(const std::string& text, const std::optional<std::string>& catalogDir,
                                   std::string& error) {
  const auto split = splitHostPort(text, error);
  if (!split) return std::nullopt;
  if (catalogDir && !std::filesystem::is_regular_file(std::filesystem::path(*catalogDir) / "consoleclient.ini")) {
    error = "no consoleclient.ini in '" + *catalogDir + "'";
    return std::nullopt;
  }
  Target t{split->host};
  if (split->port) t.port = *split->port;
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
      print(std::string(prefix_) + ": " + oneLine(text));
      return;
    }
    const MessageCatalog& texts = fromFile_ ? *fromFile_ : english_;
    const std::string words = oneLine(texts.lookupText(MessageCatalog::kSection, *key, 0));
    print(std::string(prefix_) + ": " + words + " (" + *key + ")");
  }

  const MessageCatalog& keys() const { return keys_; }
  void loggedIn() {
    printHeld();
    loggingIn_ = false;
    prefix_ = "message";
  }
  void printHeld() {
    std::fputs(held_.c_str(), stderr);
    held_.clear();
  }
  unsigned shown() const { return shown_; }

 private:
  // While logging in the boxes are the detail of the tool's own sentence, which comes first.
  void print(const std::string& line) {
    if (loggingIn_) {
      held_ += line + "\n";
    } else {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }

  MessageCatalog english_;
  std::optional<MessageCatalog> fromFile_;
  MessageCatalog keys_;
  const char* prefix_ = "refused";
  bool loggingIn_ = true;
  std::string held_;
  unsigned shown_ = 0;
};

ViewerMessages::ViewerMessages(const std::optional<std::string>& catalogDir)
    : printed_(std::make_unique<Printed>(catalogDir)) {
  messages_.boxes = printed_.get();
  messages_.catalog = &printed_->keys();
}

ViewerMessages::~ViewerMessages() = default;

void ViewerMessages::loggedIn() { printed_->loggedIn(); }

void ViewerMessages::printHeld() { printed_->printHeld(); }

unsigned ViewerMessages::shown() const { return printed_->shown(); }

int logInAsViewer(const char* command, ConsoleLink& link, const Target& target, const std::string& user,
                  const std::string& password, ViewerMessages& messages,
                  std::chrono::steady_clock::time_point& deadline, ViewerTls* tls) {
  const std::string host = hostText(target.host);
  if (!tls && !isLoopback(target.host)) {
    std::fprintf(stderr,
                 "vantrel %s: warning: the password goes to %s without TLS, where anyone on the way can read it and "
                 "log in with it; --tls protects it (the console needs --tls too)\n",
                 command, host.c_str());
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
      std::fprintf(stderr, "vantrel %s: no answer from %s within the time-out\n", command, host.c_str());
      messages.printHeld();
      return kExitTimeOut;
    }
    if (!resolvable(target.host)) {
      std::fprintf(stderr, "vantrel %s: cannot resolve '%s'\n", command, target.host.c_str());
    } else {
      std::fprintf(stderr, "vantrel %s: no connection to %s port %u\n", command, host.c_str(), target.port);
    }
    messages.printHeld();
    return kExitNoConnection;
  }
  if (login != 1) {
    // After the credentials the third failure's box is the host's to show, as ClientRun does.
    if (login == static_cast<int>(kStatusThirdFailure) && messages.shown() == 0) {
      messages.messages().showCatalogBox(nullptr, "ThreeTimeFailed");
    }
    // The viewer's own words (its catalogue's) read several refusals as one; what the console
    // meant comes first.
    std::string why;
    if (const auto word = link.lastStatus()) {
      const std::string_view meaning = consoleMeaning(*word);
      why = (meaning.empty() ? std::string() : ": " + std::string(meaning)) + " (status " + std::to_string(*word) + ")";
    }
    std::fprintf(stderr, "vantrel %s: the console refused the login%s\n", command, why.c_str());
    messages.printHeld();
    return kExitRefused;
  }
  messages.loggedIn();
  return kExitOk;
}

}  // namespace vantrel::cli
