// vantrel account add|passwd|remove|list FILE [NAME]: the console's account file, edited one
// line at a time as htpasswd edits its file.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "printable_text.h"
#include "server/account_file.h"

namespace vantrel::cli {
namespace {

constexpr const char* kCommand = "account";

// Says what an edit did, or why it did not.
int report(const AccountFile::Edit& edit, const std::string& done) {
  if (edit.error) return fail(kCommand, *edit.error);
  std::printf("%s\n", done.c_str());
  return kExitOk;
}

}  // namespace

int runAccountAdd(const AccountSettings& s) {
  if (const auto problem = accountNameProblem(s.name)) return fail(kCommand, *problem);
  std::string error;
  const auto password = readNewPassword(error);
  if (!password) return fail(kCommand, error);
  const auto edit = AccountFile(s.file).addOrReplace(s.name, *password, s.role, s.disabled);
  return report(edit, (edit.existed ? "updating the password of " : "adding ") + s.name);
}

int runAccountPasswd(const AccountSettings& s) {
  // Asked before the password, which would be typed twice for nothing.
  if (const auto records = AccountFile(s.file).load();
      records && std::none_of(records->begin(), records->end(), [&](const auto& r) { return r.name == s.name; })) {
    return fail(kCommand, "there is no account '" + s.name + "' in " + s.file);
  }
  std::string error;
  const auto password = readNewPassword(error);
  if (!password) return fail(kCommand, error);
  return report(AccountFile(s.file).changePassword(s.name, *password), "updating the password of " + s.name);
}

int runAccountRemove(const AccountSettings& s) {
  return report(AccountFile(s.file).remove(s.name), "removing " + s.name);
}

int runAccountList(const AccountSettings& s) {
  const auto contents = AccountFile(s.file).read();
  if (!contents) return fail(kCommand, "cannot read the account file '" + s.file + "'");
  for (const AccountRecord& r : contents->records) {
    std::printf("%s\t%s%s\n", printableText(r.name).c_str(), r.role.c_str(), r.disabled ? "\tdisabled" : "");
  }
  for (const AccountLineProblem& p : contents->problems) {
    std::fprintf(stderr, "vantrel account: %s line %zu: %s; no login can use it\n", s.file.c_str(), p.line,
                 printableText(p.reason).c_str());
  }
  return kExitOk;
}

}  // namespace vantrel::cli
