// vantrel account add FILE NAME [--role admin|user|guest] [--disabled]
#include "commands.h"
#include "server/account_file.h"

namespace vantrel::cli {

int runAccountAdd(const AccountSettings& s) {
  std::string error;
  const auto password = readNewPassword(error);
  if (!password) return fail("account", error);
  if (const auto refused = AccountFile(s.file).addOrReplace(s.name, *password, s.role, s.disabled)) {
    return fail("account", *refused);
  }
  return kExitOk;
}

}  // namespace vantrel::cli
