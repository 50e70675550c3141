#pragma once
// What the tool's two viewers (snap and view) share up to the session: the console's address,
// the boxes printed as lines in English, and the login with the tool's exit codes.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "catalog/user_messages.h"
#include "protocol/console_link.h"
#include "viewer/viewer_tls.h"

namespace vantrel::cli {

struct Target {
  std::string host;
  std::uint16_t port = 25000;
};

// HOST[:PORT], with the catalogue folder (when given) holding a consoleclient.ini; nothing, and
// the reason in `error`, for a bad port, no host or no catalogue there.
std::optional<Target> viewerTarget(const std::string& text, const std::optional<std::string>& catalogDir,
                                   std::string& error);

// The session's boxes as lines on standard error: each box's text in English (from
// DIR/consoleclient.ini when given, else built in) and its key, "refused: Logon failed.
// (LoginFailed)" while logging in, "message: ..." afterwards.
class ViewerMessages {
 public:
  explicit ViewerMessages(const std::optional<std::string>& catalogDir);
  ~ViewerMessages();
  ViewerMessages(const ViewerMessages&) = delete;
  ViewerMessages& operator=(const ViewerMessages&) = delete;

  UserMessages& messages() { return messages_; }
  void loggedIn();
  unsigned shown() const;

 private:
  class Printed;
  std::unique_ptr<Printed> printed_;
  UserMessages messages_;
};

// Logs in on `link` (made with `messages`, and with `tls` attached when it is given) and says so
// as the tool does: kExitOk when logged in, else kExitRefused, kExitNoConnection, kExitTimeOut
// (the link's limits ran out by `deadline`) or kExitUntrusted, with a line "vantrel COMMAND: ..."
// on standard error. The time a user takes to accept a new console moves `deadline` on.
int logInAsViewer(const char* command, ConsoleLink& link, const Target& target, const std::string& user,
                  const std::string& password, ViewerMessages& messages,
                  std::chrono::steady_clock::time_point& deadline, ViewerTls* tls);

}  // namespace vantrel::cli
