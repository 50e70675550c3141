// `vantrel discover` run as a program against consoles that answer on loopback.
#include <gtest/gtest.h>

#include "support/probe_responders.h"
#include "tool/tool_process.h"

namespace vantrel::cli {
namespace {

TEST(DiscoverCommand, PrintsEachAnswerMaskedWithItsAddress) {
  // A console's name is whatever its datagram says: escape sequences that would retitle the
  // window and clear the screen, and a C1 control in UTF-8, must reach the terminal masked.
  testing::ProbeResponders consoles({"ALPHA", "\x1b]2;owned\x07\x1b[2J",
                                     "caf\xc3\xa9\xc2\x9b"
                                     "31m"});
  ASSERT_NE(consoles.port(), 0);
  test::TempDir dir;
  const ToolRun run = runTool(dir, "discover --to 127.0.0.1 --port " + std::to_string(consoles.port()));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "ALPHA\t127.0.0.1\n?]2;owned??[2J\t127.0.0.1\ncaf\xc3\xa9?31m\t127.0.0.1\n");
}

}  // namespace
}  // namespace vantrel::cli
