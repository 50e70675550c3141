#pragma once
// Logins checked through PAM (the machine's own accounts, or whatever the service's stack
// says), for members of one administrators' group only: the Linux counterpart of an enabled
// administrator account with the right password.

#include <string>

#include "server/account_checks.h"

namespace vantrel::cli {

class PamAccounts final : public AccountChecks {
 public:
  PamAccounts(std::string service, std::string adminGroup)
      : service_(std::move(service)), adminGroup_(std::move(adminGroup)) {}

  // A member of the group whose password the service's auth stack accepts and whose account
  // its account stack allows (not expired, not locked). Members alone are asked about their
  // password, so that a stranger's guesses never count against the other accounts of the
  // machine in PAM's own lockout.
  AccountVerdict verifyAccountPassword(const std::string& user, const std::string& password) override;

 private:
  std::string service_;
  std::string adminGroup_;
};

}  // namespace vantrel::cli
