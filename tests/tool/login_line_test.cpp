// The console's line for each connection, with what TLS (or its absence) adds to it.
#include "console/login_line.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(LoginLine, SaysHowTheCredentialsCame) {
  using R = ConsoleServer::LoginResult;
  R overTls{101, true, "ann", 0, true, false};
  R inClear{101, true, "ann", 0, false, false};
  R refusedInClear{102, false, "ann", 0, false, false};
  R neverRead{106, false, std::nullopt, 0, false, false};
  R noSession{0, false, std::nullopt, 0, false, true};
  struct Row { const char* name; R result; bool risked; std::optional<std::string> line; };
  for (const Row& row : std::vector<Row>{
           {"TLS", overTls, true, "viewer 'ann' logged in from 10.0.0.9 over TLS"},
           {"clear", inClear, false, "viewer 'ann' logged in from 10.0.0.9"},
           {"clear, risked", inClear, true,
            "viewer 'ann' logged in from 10.0.0.9 (its password crossed the network readable: --allow-clear-passwords)"},
           {"refused, risked", refusedInClear, true,
            "refused viewer 'ann' from 10.0.0.9: wrong user name or password, or not an enabled admin account "
            "(its password crossed the network readable: --allow-clear-passwords)"},
           {"nothing read, risked", neverRead, true, "refused a viewer from 10.0.0.9: another viewer is logged in"},
           {"no TLS session", noSession, true, std::nullopt},
       }) {
    EXPECT_EQ(loginLine("10.0.0.9", row.result, row.risked), row.line) << row.name;
  }
}

}  // namespace
}  // namespace vantrel::cli
