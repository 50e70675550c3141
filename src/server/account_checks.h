#pragma once
// Decides whether a user name and password received by the login responder may log in: only
// an enabled account with administrator rights and the right password. The Win32 shell asks
// the machine's Windows accounts; the Linux shell reads an account file.

#include <string>

namespace vantrel {

class AccountChecks {
 public:
  virtual ~AccountChecks() = default;
  virtual bool verifyAccountPassword(const std::string& user, const std::string& password) = 0;
};

}  // namespace vantrel
