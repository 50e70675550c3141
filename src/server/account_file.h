#pragma once
// Accounts of the Linux console: one per line, "name:hash:role[,disabled]", the hash a crypt(3)
// string (yescrypt or SHA-512), role "admin", "user" or "guest"; a line starting with '#' is a
// comment. The file is read afresh for every check, so an account added while the console runs
// counts at once. (Linux shell only.)

#include <functional>
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

// Why a name cannot be an account's (it would read as something else, or no viewer can send
// it), or nothing.
std::optional<std::string> accountNameProblem(std::string_view name);

// A line of the file that no login can use, counting from 1, and why.
struct AccountLineProblem {
  std::size_t line;
  std::string reason;
};

class AccountFile final : public AccountChecks {
 public:
  explicit AccountFile(std::string path) : path_(std::move(path)) {}

  AccountVerdict verifyAccountPassword(const std::string& user, const std::string& password) override;

  struct Contents {
    std::vector<AccountRecord> records;
    // Lines that are neither an account, a comment nor blank, and later lines of a name.
    std::vector<AccountLineProblem> problems;
  };
  // What the file holds; nothing when it cannot be read.
  std::optional<Contents> read() const;
  // The records of the file; nothing when it cannot be read.
  std::optional<std::vector<AccountRecord>> load() const;

  // What an edit did: an error text, or nothing on success; and whether the account was there.
  // Every other line, comments and lines this version does not understand included, stays
  // byte for byte. Passwords get a fresh yescrypt hash.
  struct Edit {
    std::optional<std::string> error;
    bool existed = false;
  };
  // Adds the account or replaces the one of the same name.
  Edit addOrReplace(const std::string& name, const std::string& password, const std::string& role,
                    bool disabled) const;
  // A new password for an account that is there; its role and state stay.
  Edit changePassword(const std::string& name, const std::string& password) const;
  Edit remove(const std::string& name) const;

  static bool isValidRole(std::string_view role);

 private:
  // Rewrites the file with the line of `name` as `newLine` makes it from the account's record
  // (null when there is none, and then it is appended); nothing from `newLine` drops the line.
  using LineMaker = std::function<std::optional<std::string>(const AccountRecord* existing)>;
  Edit rewrite(const std::string& name, bool mustExist, const LineMaker& newLine) const;

  std::string path_;
};

}  // namespace vantrel
