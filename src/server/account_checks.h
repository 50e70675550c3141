#pragma once
// Decides whether a user name and password received by the login responder may log in: only
// an enabled account with administrator rights and the right password. The Win32 shell asks
// the machine's Windows accounts; the Linux shell reads an account file or asks PAM.

#include <string>

namespace vantrel {

// What the checks made of a login. The viewer learns only yes or no (its status word); the
// reason is for the console's own log.
enum class AccountVerdict {
  Valid,
  UnknownUser,
  WrongPassword,
  Disabled,
  NotAdministrator,  // a user or guest account, or not in the administrators' group
  AccountExpired,
  PasswordExpired,   // the password is right but must be changed first
  Refused,           // refused by the system's own account rules, for a reason it does not give
  Unavailable,       // the accounts could not be read or asked
};

class AccountChecks {
 public:
  virtual ~AccountChecks() = default;
  virtual AccountVerdict verifyAccountPassword(const std::string& user, const std::string& password) = 0;
};

}  // namespace vantrel
