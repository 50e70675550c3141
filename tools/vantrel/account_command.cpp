// vantrel account add FILE NAME [--role admin|user|guest] [--disabled]
#include <iostream>
#include <string>

#include "commands.h"
#include "server/account_file.h"

namespace vantrel::cli {

int runAccount(Args args) {
  constexpr const char* kUsage = "usage: vantrel account add FILE NAME [--role admin|user|guest] [--disabled]";
  if (args.size() < 3 || args[0] != "add") return fail("account", kUsage);

  std::string role = "admin";
  bool disabled = false;
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--disabled") {
      disabled = true;
    } else if (args[i] == "--role" && i + 1 < args.size()) {
      role = args[++i];
    } else {
      return fail("account", kUsage);
    }
  }

  // The password is the first line of standard input, so it never shows in a process list.
  std::string password;
  if (!std::getline(std::cin, password)) return fail("account", "no password on standard input");
  if (!password.empty() && password.back() == '\r') password.pop_back();

  if (const auto error = AccountFile(args[1]).addOrReplace(args[2], password, role, disabled)) {
    return fail("account", *error);
  }
  return 0;
}

}  // namespace vantrel::cli
