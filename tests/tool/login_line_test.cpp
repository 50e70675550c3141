// The console's line for each connection, with what TLS (or its absence) adds to it.
#include "console/login_line.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

ConcurrentLogins::Outcome outcome(std::uint32_t status, bool loggedIn, std::optional<std::string> user, bool secured,
                                  bool secureChannelFailed = false) {
  ConcurrentLogins::Outcome o;
  o.address = "10.0.0.9";
  o.login.status = status;
  o.login.loggedIn = loggedIn;
  o.login.user = std::move(user);
  o.login.secured = secured;
  o.login.secureChannelFailed = secureChannelFailed;
  return o;
}

TEST(LoginLine, SaysHowTheCredentialsCame) {
  auto wrongPassword = outcome(102, false, "ann", false);
  wrongPassword.login.verdict = AccountVerdict::WrongPassword;
  struct Row {
    const char* name;
    ConcurrentLogins::Outcome outcome;
    bool risked;
    std::optional<std::string> line;
  };
  for (const Row& row : std::vector<Row>{
           {"TLS", outcome(101, true, "ann", true), true, "viewer 'ann' logged in from 10.0.0.9 over TLS"},
           {"clear", outcome(101, true, "ann", false), false, "viewer 'ann' logged in from 10.0.0.9"},
           {"clear, risked", outcome(101, true, "ann", false), true,
            "viewer 'ann' logged in from 10.0.0.9 (its password crossed the network readable: --allow-clear-passwords)"},
           {"refused, risked", wrongPassword, true,
            "refused viewer 'ann' from 10.0.0.9: wrong password "
            "(its password crossed the network readable: --allow-clear-passwords)"},
           {"nothing read, risked", outcome(106, false, std::nullopt, false), true,
            "refused a viewer from 10.0.0.9: another viewer is logged in"},
           {"no TLS session", outcome(0, false, std::nullopt, false, true), true, std::nullopt},
       }) {
    EXPECT_EQ(loginLine(row.outcome, "", row.risked), row.line) << row.name;
  }
}

}  // namespace
}  // namespace vantrel::cli
