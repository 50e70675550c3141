#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "protocol/console_link.h"
#include "support/recording_message_boxes.h"
#include "support/scripted_peer.h"

namespace vantrel {
namespace {

using testing::ScriptedPeer;
using testing::ScriptStep;
using Bytes = std::vector<std::uint8_t>;

ConsoleMessage record(std::initializer_list<std::uint8_t> header, std::uint8_t* payload = nullptr) {
  ConsoleMessage m;
  std::copy(header.begin(), header.end(), m.header.begin());
  m.payload = payload;
  return m;
}

// A link logged in to a scripted console that then plays `then`.
class FramingTest : public ::testing::Test {
 protected:
  void connect(std::vector<ScriptStep> then) {
    auto script = testing::loginSteps();
    script.insert(script.end(), then.begin(), then.end());
    peer = ScriptedPeer::console(std::move(script));
    ConsoleLinkOptions options;
    options.tcpPort = peer->port();
    link = std::make_unique<ConsoleLink>(recorded.messages, options);
    ASSERT_EQ(link->connectAndLogin("127.0.0.1", kLoginRequest, "user", "pw"), 1);
  }

  // What the viewer wrote after its login, once the link is gone.
  Bytes sentAfterLogin() {
    link.reset();
    EXPECT_TRUE(peer->finish());
    const auto& all = peer->received();
    return {all.begin() + static_cast<std::ptrdiff_t>(testing::kLoginBytes), all.end()};
  }

  testing::RecordedMessages recorded;
  std::unique_ptr<ScriptedPeer> peer;
  std::unique_ptr<ConsoleLink> link;
};

TEST_F(FramingTest, EachTypeGoesOutWithItsHeaderLengthAndForcedZeros) {
  std::uint8_t payload[] = {0xA1, 0xA2, 0xA3};
  struct Row { const char* name; ConsoleMessage message; Bytes wire; };
  const std::vector<Row> rows = {
      {"key event: word at 2 cleared", record({1, 1, 7, 7, 0x20, 0, 0, 0, 9}), {1, 1, 0, 0, 0x20, 0, 0, 0}},
      {"pointer event: 6 bytes as given", record({2, 5, 10, 0, 20, 0, 9}), {2, 5, 10, 0, 20, 0}},
      {"alt-tab: value and flag cleared", record({3, 4, 14, 0, 1, 2, 3, 4}), {3, 0, 14, 0, 0, 0, 0, 0}},
      {"display depth keeps its value", record({3, 4, 18, 0, 32, 0, 0, 0}), {3, 0, 18, 0, 32, 0, 0, 0}},
      {"clipboard of length 0", record({3, 0, 12, 0, 0, 0, 0, 0}), {3, 0, 12, 0, 0, 0, 0, 0}},
      {"clipboard with text", record({3, 0, 12, 0, 3, 0, 0, 0}, payload), {3, 0, 12, 0, 3, 0, 0, 0, 0xA1, 0xA2, 0xA3}},
      {"screen update, empty payload",
       record({4, 9, 1, 0, 2, 0, 3, 0, 4, 0, 1, 0, 0, 0, 0, 0, 5, 0, 0, 0}),
       {4, 0, 1, 0, 2, 0, 3, 0, 4, 0, 1, 0, 0, 0, 0, 0, 5, 0, 0, 0}},
      {"overlay update with payload",
       record({5, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}, payload),
       {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0xA1, 0xA2}},
      {"screen format, length at 6", record({6, 9, 0x20, 3, 0x58, 2, 3, 0, 7, 7, 7, 7}, payload),
       {6, 0, 0x20, 3, 0x58, 2, 3, 0, 7, 7, 7, 7, 0xA1, 0xA2, 0xA3}},
  };
  for (auto row : rows) {
    SCOPED_TRACE(row.name);
    connect({ScriptStep::receiveToEnd()});
    EXPECT_TRUE(link->sendMessage(row.message));
    EXPECT_EQ(sentAfterLogin(), row.wire);
  }
}

TEST_F(FramingTest, TypesTheViewerDoesNotSendWriteNothing) {
  connect({ScriptStep::receiveToEnd()});
  for (const int type : {0, 7, 116, 255}) {
    auto m = record({static_cast<std::uint8_t>(type)});
    EXPECT_FALSE(link->sendMessage(m));
  }
  auto missingPayload = record({3, 0, 12, 0, 3, 0, 0, 0});
  EXPECT_FALSE(link->sendMessage(missingPayload));
  EXPECT_TRUE(sentAfterLogin().empty());
}

TEST_F(FramingTest, ReceivesEachTypeAndSkipsWhatItDoesNotKnow) {
  connect({ScriptStep::send({
      9,                                                                    // unknown: one byte dropped
      2, 1, 2, 3, 4, 5,                                                     // pointer event
      116,                                                                  // server does not respond
      3, 0, 11, 0, 0xFF, 0xFF, 0xFF, 0xFF,                                  // acknowledgement: no payload
      3, 0, 12, 0, 2, 0, 0, 0, 'h', 'i',                                    // clipboard text
      4, 0, 1, 0, 2, 0, 3, 0, 4, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 7, 8, 9,  // screen update
      6, 0, 0, 4, 0, 3, 1, 0, 0, 0, 0, 0, 6,                                // screen format
  })});
  std::uint8_t buffer[8] = {};
  ConsoleMessage m;
  m.payload = buffer;
  struct Row { bool result; std::uint8_t type; Bytes payload; };
  const std::vector<Row> rows = {
      {false, 9, {}}, {true, 2, {}}, {false, 116, {}}, {true, 3, {}}, {true, 3, {'h', 'i'}},
      {true, 4, {7, 8, 9}}, {true, 6, {6}}, {false, 6, {}},  // then the peer has closed
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.type));
    EXPECT_EQ(link->receiveMessage(m, sizeof buffer), row.result);
    EXPECT_EQ(m.type(), row.type);
    EXPECT_TRUE(std::equal(row.payload.begin(), row.payload.end(), buffer));
  }
  EXPECT_EQ(m.u16At(2), 0x400);
  EXPECT_FALSE(link->isAlive());  // the peer's close ends the link
  const auto boxes = recorded.boxes.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "ServerNoResponse_en");
  EXPECT_EQ(boxes[0].showingWhileUp, 1);
}

TEST_F(FramingTest, PayloadLongerThanTheBufferIsRefusedAndKillsTheLink) {
  connect({ScriptStep::send({3, 0, 12, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5})});
  std::vector<std::uint8_t> buffer(8, 0xEE);
  ConsoleMessage m;
  m.payload = buffer.data();
  EXPECT_FALSE(link->refusedLength());
  EXPECT_FALSE(link->receiveMessage(m, 4));
  EXPECT_FALSE(link->isAlive());
  EXPECT_EQ(link->refusedLength(), 5u);  // the link's owner can say why it dropped
  EXPECT_EQ(buffer, Bytes(8, 0xEE));
}

// Both threads of a session send on one link: every message must reach the wire whole.
TEST_F(FramingTest, TwoSendingThreadsNeverSplitAMessage) {
  constexpr std::uint32_t kCount = 10000;
  connect({ScriptStep::receiveToEnd()});
  const auto sender = [this](std::uint8_t tag, std::uint8_t length) {
    std::vector<std::uint8_t> payload(length, tag);
    for (std::uint32_t i = 0; i < kCount; ++i) {
      storeU32le(payload.data() + 1, i);
      auto m = record({3, 0, 12, 0, length, 0, 0, 0}, payload.data());
      if (!link->sendMessage(m)) return;
    }
  };
  std::thread a(sender, std::uint8_t{'A'}, std::uint8_t{5});
  std::thread b(sender, std::uint8_t{'B'}, std::uint8_t{11});
  a.join();
  b.join();

  const Bytes wire = sentAfterLogin();
  std::uint32_t next[2] = {0, 0};
  ByteReader reader(wire);
  while (reader.remaining() > 0) {
    const std::uint8_t type = reader.readU8();
    reader.readU8();
    const std::uint16_t subtype = reader.readU16le();
    const auto payload = reader.readBytes(reader.readU32le());
    ASSERT_TRUE(reader.ok() && type == 3 && subtype == 12 && payload.size() >= 5);
    const std::size_t from = payload[0] == 'A' ? 0 : 1;
    ASSERT_EQ(payload.size(), from == 0 ? 5u : 11u);
    ASSERT_TRUE(std::all_of(payload.begin() + 5, payload.end(), [&](std::uint8_t c) { return c == payload[0]; }));
    ASSERT_EQ(loadU32le(&payload[1]), next[from]++);
  }
  EXPECT_EQ(next[0], kCount);
  EXPECT_EQ(next[1], kCount);
}

}  // namespace
}  // namespace vantrel
