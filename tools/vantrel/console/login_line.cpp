#include "console/login_line.h"

#include <chrono>

#include "console/console_log.h"
#include "printable_text.h"
#include "status_words.h"

namespace vantrel::cli {

std::optional<std::string> loginLine(const std::string& address, const ConsoleServer::LoginResult& r,
                                     bool riskedInClear) {
  if (r.secureChannelFailed) return std::nullopt;
  const std::string who = r.user ? "viewer '" + printableText(*r.user) + "'" : "a viewer";
  const std::string risk = riskedInClear && r.user && !r.secured
                               ? " (its password crossed the network readable: --allow-clear-passwords)"
                               : "";
  if (r.loggedIn) return who + " logged in from " + address + (r.secured ? " over TLS" : "") + risk;
  if (r.status == 0) return "turned away a viewer from " + address + ": too many logins are under way (from its address)";
  if (r.status == ConsoleServer::proceed) {
    return "dropped " + who + " from " + address +
           ": it did not finish its login (it closed, took too long, or did not ask to log in)";
  }
  std::string line = "refused " + who + " from " + address + ": " + std::string(consoleMeaning(r.status));
  if (r.status == ConsoleServer::localRefused) line += " (see --allow-local)";
  if (r.lockedForMs != 0) {
    line += "; locked until " +
            isoTime(std::chrono::system_clock::now() + std::chrono::milliseconds(r.lockedForMs));
  }
  return line + risk;
}

}  // namespace vantrel::cli
