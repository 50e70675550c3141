// `vantrel account add` on a terminal: it asks twice without echo and refuses a mismatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tool/tool_process.h"

namespace vantrel::cli {
namespace {

TEST(AccountCommand, AsksTwiceWithoutEchoOnATerminal) {
  test::TempDir dir;
  const std::string file = (dir.path() / "accounts").string();
  struct Case {
    std::vector<std::string> answers;
    int exitCode;
    const char* says;
  };
  for (const Case& c : std::vector<Case>{{{"first-try", "first-tyr"}, 1, "differ"},
                                         {{"", ""}, 1, "empty password"},
                                         {{"s3cret-pw", "s3cret-pw"}, 0, "Same password again: "}}) {
    const TerminalRun run = runOnTerminal({"account", "add", file, "admin"}, c.answers);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.screen;
    EXPECT_NE(run.screen.find(c.says), std::string::npos) << run.screen;
    EXPECT_EQ(run.screen.find(c.answers[0].empty() ? "\x01" : c.answers[0]), std::string::npos)
        << "the password was echoed: " << run.screen;
  }
  EXPECT_NE(dir.read("accounts").find("admin:$y$"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::cli
