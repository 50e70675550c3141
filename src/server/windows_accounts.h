#pragma once
// The Windows accounts of this machine as the login responder's judge (Win32 shell only).
// A password is proved by changing it to itself; an account barred from changing its password
// has the bar lifted for the moment of the check and put back afterwards.

#include <cstdint>
#include <string>

#include "server/account_checks.h"

namespace vantrel {

class WindowsAccounts final : public AccountChecks {
 public:
  // Valid, or Refused: the Windows checks say no without saying why.
  AccountVerdict verifyAccountPassword(const std::string& user, const std::string& password) override;

  bool isEnabledAdministrator(const std::string& user);
  bool setPasswordChangeable(const std::string& user, std::int32_t restore);
  // True only for the name of the built-in Administrators group itself, not for its members.
  bool isAdministratorsGroup(const std::string& name);
  bool enableTcbPrivilege();

  std::uint32_t savedAccountFlags() const { return savedAccountFlags_; }

  // How the result of the password change is read: only these three codes mean "wrong".
  static bool passwordChangeMeansValid(std::uint32_t result);

 private:
  std::uint32_t savedAccountFlags_ = 0;
};

}  // namespace vantrel
