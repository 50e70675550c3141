#pragma once
// Accounts of the Linux console: one per line, "name:hash:role[,disabled]", the hash a crypt(3)
// string (yescrypt or SHA-512), role "admin", "user" or "guest". The file is read afresh for
// every check, so an account added while the console runs counts at once. (Linux shell only.)

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/account_checks.h"

namespace vantrel {

struct AccountRecord {
  std::string name;
  std::string hash;
  std::string role;
  bool disabled = false;
};

// One line of the file, or nothing when it is not a well-formed record.
std::optional<AccountRecord> parseAccountLine(std::string_view line);
std::string formatAccountLine(const AccountRecord& record);

class AccountFile final : public AccountChecks {
 public:
  explicit AccountFile(std::string path) : path_(std::move(path)) {}

  AccountVerdict verifyAccountPassword(const std::string& user, const std::string& password) override;

  // The records of the file; nothing when it cannot be read.
  std::optional<std::vector<AccountRecord>> load() const;
  // Adds the account or replaces the one of the same name, with a fresh yescrypt hash.
  // Returns an error text, or nothing on success.
  std::optional<std::string> addOrReplace(const std::string& name, const std::string& password,
                                          const std::string& role, bool disabled) const;

  static bool isValidRole(std::string_view role);

 private:
  std::string path_;
};

}  // namespace vantrel
