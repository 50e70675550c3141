// The DLL's TLS client against consoles that do not play by the rules. None of them may make it
// wait past its deadline, hold more than it allows, or fail without saying why.
#include "net/schannel_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/scripted_peer.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ScriptedPeer;
using testing::ScriptStep;

// A handshake record holding the start of a Certificate message that announces 16 MB, then
// filler records that never complete it: more than the client keeps for one handshake.
std::vector<std::uint8_t> endlessHandshake() {
  std::vector<std::uint8_t> bytes = {0x16, 3, 3, 0, 4, 0x0B, 0xFF, 0xFF, 0xFF};
  for (int record = 0; record < 6; ++record) {
    bytes.insert(bytes.end(), {0x16, 3, 3, 0x40, 0x00});
    bytes.resize(bytes.size() + 0x4000, 0);
  }
  return bytes;
}

TEST(SchannelStreamTest, AConsoleOutsideTheRulesIsRefusedWithItsReasonWithinTheDeadline) {
  struct Row {
    const char* what;
    std::vector<ScriptStep> script;
    std::chrono::milliseconds limit;
    std::string reasonNames;
  };
  std::vector<ScriptStep> dripping = {ScriptStep::receive(5)};
  for (const auto& step : ScriptStep::drip({0x16, 3, 3, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0}, 300)) dripping.push_back(step);
  const std::vector<Row> rows = {
      {"clear console", {ScriptStep::sendU32(107), ScriptStep::receiveToEnd()}, 20s, "does not speak TLS"},
      {"huge record", {ScriptStep::receive(5), ScriptStep::send({0x16, 3, 3, 0xFF, 0xFF}), ScriptStep::receiveToEnd()},
       20s, "65535 bytes"},
      {"endless handshake", {ScriptStep::receive(5), ScriptStep::send(endlessHandshake())}, 20s, "65536 bytes"},
      {"hang-up", {ScriptStep::receive(5)}, 20s, "connection ended"},
      {"silence", {ScriptStep::receiveToEnd()}, 1500ms, "in time"},
      {"drip", dripping, 1500ms, "in time"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto peer = ScriptedPeer::console(row.script);
    NetSocket socket;
    ASSERT_TRUE(socket.createTcp() && socket.connect("127.0.0.1", peer->port(), 2000ms));
    const auto start = Clock::now();
    const SecureChannel channel = openSchannelStream(socket, "localhost", start + row.limit, Sha256Digest{});
    const auto took = Clock::now() - start;
    EXPECT_EQ(channel.stream, nullptr);
    EXPECT_NE(channel.failure.find(row.reasonNames), std::string::npos) << channel.failure;
    if (row.limit < 20s) {
      EXPECT_GE(took, row.limit - 100ms);
      EXPECT_LT(took, row.limit + 1s);
    } else {
      EXPECT_LT(took, 10s);  // at once, not at the deadline
    }
    socket.close();
  }
}

}  // namespace
}  // namespace vantrel
