#include "console/login_line.h"

#include <chrono>

#include "console/console_log.h"
#include "printable_text.h"
#include "status_words.h"

namespace vantrel::cli {
namespace {

// Why the account checks refused a login; the viewer is only told its status word.
std::string refusalReason(AccountVerdict verdict, const std::string& adminGroup) {
  switch (verdict) {
    case AccountVerdict::Valid:
      return "";
    case AccountVerdict::UnknownUser:
      return "no such account";
    case AccountVerdict::WrongPassword:
      return "wrong password";
    case AccountVerdict::Disabled:
      return "the account is disabled";
    case AccountVerdict::NotAdministrator:
      return adminGroup.empty() ? "not an admin account" : "not in the administrators' group '" + adminGroup + "'";
    case AccountVerdict::AccountExpired:
      return "the account has expired";
    case AccountVerdict::PasswordExpired:
      return "the password has expired and must be changed first";
    case AccountVerdict::Refused:
      return "the system's account rules refuse it";
    case AccountVerdict::Unavailable:
      return "the accounts could not be checked";
  }
  return "";
}

std::optional<std::string> turnedAwayLine(const ConcurrentLogins::Outcome& outcome) {
  const ConcurrentLogins::Limits limits;
  const std::string& address = outcome.address;
  switch (outcome.turnedAway) {
    case ConcurrentLogins::TurnedAway::No:
      break;
    case ConcurrentLogins::TurnedAway::AddressFull:
      return "turned away a viewer from " + address + ": " + std::to_string(limits.perAddress) +
             " logins from that address are under way already, the most one address may have";
    case ConcurrentLogins::TurnedAway::ConsoleFull:
      return "turned away a viewer from " + address + ": " + std::to_string(limits.inFlight) +
             " logins are under way, the most the console runs at once, and each of them has sent its credentials";
  }
  if (outcome.login.displaced) {
    return "dropped a viewer from " + address + ": it had not sent its credentials while " +
           std::to_string(limits.inFlight) + " logins were under way, and a newer connection took its place";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> loginLine(const ConcurrentLogins::Outcome& outcome, const std::string& adminGroup,
                                     bool riskedInClear) {
  const ConsoleServer::LoginResult& r = outcome.login;
  const std::string& address = outcome.address;
  if (r.secureChannelFailed) return std::nullopt;
  if (auto line = turnedAwayLine(outcome)) return line;
  const std::string who = r.user ? "viewer '" + printableText(*r.user) + "'" : "a viewer";
  const std::string risk = riskedInClear && r.user && !r.secured
                               ? " (its password crossed the network readable: --allow-clear-passwords)"
                               : "";
  if (r.loggedIn) return who + " logged in from " + address + (r.secured ? " over TLS" : "") + risk;
  if (r.status == ConsoleServer::proceed) {
    return "dropped " + who + " from " + address +
           ": it did not finish its login (it closed, took too long, or did not ask to log in)";
  }
  std::string line = "refused " + who + " from " + address + ": ";
  if (r.verdict && *r.verdict != AccountVerdict::Valid) {
    line += refusalReason(*r.verdict, adminGroup);
    if (r.status == ConsoleServer::thirdFailure) line += "; " + std::string(consoleMeaning(r.status));
  } else {
    line += consoleMeaning(r.status);
  }
  if (r.status == ConsoleServer::localRefused) line += " (see --allow-local)";
  if (r.lockedForMs != 0) {
    line += "; locked until " +
            isoTime(std::chrono::system_clock::now() + std::chrono::milliseconds(r.lockedForMs));
  }
  return line + risk;
}

}  // namespace vantrel::cli
