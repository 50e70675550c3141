#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "protocol/console_link.h"
#include "screen/software_surface.h"
#include "support/recording_message_boxes.h"
#include "support/screen_messages.h"
#include "support/scripted_peer.h"
#include "viewer/client_connection.h"
#include "viewer/headless_session.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::ScriptedPeer;
using testing::ScriptStep;
using testing::WireMessage;
using Pixels = std::vector<std::uint32_t>;

const Bytes kDepth32 = {3, 0, 18, 0, 32, 0, 0, 0};
const Bytes kAck = {3, 0, 11, 0, 0, 0, 0, 0};
// The viewer keeps the text up to its NUL.
const Bytes clipboardText = {3, 0, 12, 0, 5, 0, 0, 0, 'h', 'i', '\n', 0, 'x'};

ScriptStep send(const WireMessage& m) { return ScriptStep::send(m.wire()); }
ScriptStep sendBytes(Bytes bytes) { return ScriptStep::send(std::move(bytes)); }
ScriptStep ack() { return ScriptStep::receive(kAck.size()); }

WireMessage fullFrame(std::uint32_t colour) {
  return testing::screenUpdate(ConsoleMessage::kScreenUpdate, 0, 0, 640, 480, 0,
                               testing::trueColourBlock(640, 480, Pixels(640 * 480, colour)),
                               testing::kTrueColourHeaderLength);
}

WireMessage smallUpdate(std::uint8_t type, std::uint16_t x, std::uint32_t colour) {
  return testing::screenUpdate(type, x, 0, 8, 8, 0, testing::trueColourBlock(8, 8, Pixels(64, colour)),
                               testing::kTrueColourHeaderLength);
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A logged-in session against a scripted console. The console first reads the DisplayDepth
// that the viewer window's creation sends, then plays `then`.
class SessionTest : public ::testing::Test {
 protected:
  void start(std::vector<ScriptStep> then, ClientConnection::Options options = {0ms}) {
    auto script = testing::loginSteps();
    script.push_back(ScriptStep::receive(kDepth32.size()));
    script.insert(script.end(), then.begin(), then.end());
    peer = ScriptedPeer::console(std::move(script));
    ConsoleLinkOptions linkOptions;
    linkOptions.tcpPort = peer->port();
    link = std::make_unique<ConsoleLink>(recorded.messages, linkOptions);
    ASSERT_EQ(link->connectAndLogin("127.0.0.1", kLoginRequest, "user", "pw"), 1);
    connection = ClientConnection::create({surface, window, clipboard, recorded.messages}, options);
    ASSERT_NE(connection, nullptr);
    connection->link = link.get();
    ASSERT_TRUE(connection->start());
  }

  // Waits until the viewer has sent this many acknowledgements.
  void settle(std::uint64_t acks) {
    ASSERT_TRUE(eventually([&] { return connection->acknowledgementsSent() >= acks; }));
  }

  // Everything the viewer wrote after its login, once the session is over.
  Bytes sentAfterLogin() {
    connection.reset();
    link.reset();
    EXPECT_TRUE(peer->finish());
    const auto& all = peer->received();
    return {all.begin() + static_cast<std::ptrdiff_t>(testing::kLoginBytes), all.end()};
  }

  testing::RecordedMessages recorded;
  SoftwareSurface surface;
  HeadlessWindow window;
  MemoryClipboard clipboard;
  std::unique_ptr<ScriptedPeer> peer;
  std::unique_ptr<ConsoleLink> link;
  std::unique_ptr<ClientConnection> connection;
};

TEST_F(SessionTest, EveryHandledMessageIsAcknowledgedOnce) {
  start({send(testing::screenFormat(640, 480)), ack(), send(fullFrame(0x336699)), ack(),
         send(smallUpdate(ConsoleMessage::kOverlayUpdate, 0, 0x0000FF)), ack(), sendBytes({3, 0, 13, 0, 9, 9, 9, 9}), ack(),
         sendBytes({1, 1, 0, 0, 0x20, 0, 0, 0}), ack(), sendBytes(clipboardText), ack(), ScriptStep::receiveToEnd()});
  settle(6);
  EXPECT_EQ(clipboard.text(), "hi\n");
  EXPECT_TRUE(connection->display().fullFrameSeen());
  EXPECT_EQ(window.sizeMessages.load(), 1u);
  EXPECT_EQ(sentAfterLogin(), concat({kDepth32, kAck, kAck, kAck, kAck, kAck, kAck}));
  EXPECT_EQ(surface.pixel(100, 100), 0x336699u);
  EXPECT_TRUE(recorded.boxes.boxes().empty());
}

TEST_F(SessionTest, ServerCutShowsOneBoxAndEndsTheLoopWithoutAcknowledgement) {
  WindowRef const grandParent = reinterpret_cast<WindowRef>(0x4242);
  struct Row { const char* name; bool parentVisible; int viewMode; bool ownedByViewer; };
  const std::vector<Row> rows = {
      {"parent visible", true, 2, true},
      {"parent hidden, full screen", false, 1, true},
      {"parent hidden, windowed", false, 2, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    recorded.boxes.clear();
    window.parentShown = row.parentVisible;
    window.mode = row.viewMode;
    window.grandParent = grandParent;
    start({sendBytes({3, 0, 17, 0, 0, 0, 0, 0}), ScriptStep::receiveToEnd()});
    ASSERT_TRUE(eventually([&] { return connection->receiveThreadEnded(); }));
    EXPECT_EQ(connection->closedByServer.load(), 1);
    EXPECT_FALSE(link->isAlive());
    const auto boxes = recorded.boxes.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "ServerCutConnect_en");
    EXPECT_EQ(boxes[0].showingWhileUp, 1);
    EXPECT_EQ(boxes[0].owner, row.ownedByViewer ? window.viewerWindow() : grandParent);
    EXPECT_EQ(sentAfterLogin(), kDepth32);
  }
}

// A console that goes away, killed (a close) or crashed (a reset), ends the session at once.
TEST_F(SessionTest, AnOrderlyCloseOrAResetEndsTheSession) {
  for (const auto& then : {std::vector<ScriptStep>{}, std::vector<ScriptStep>{ScriptStep::reset()}}) {
    SCOPED_TRACE(then.size());
    start(then);
    EXPECT_TRUE(eventually([&] { return connection->receiveThreadEnded(); }, 1s));
    EXPECT_FALSE(link->isAlive());
    EXPECT_EQ(connection->receiveStop.load(), 1);
    EXPECT_EQ(sentAfterLogin(), kDepth32);
  }
}

TEST_F(SessionTest, AFailedAcknowledgementStopsTheLoop) {
  start({ScriptStep::receiveToEnd()});
  ClientConnection& c = *connection;
  EXPECT_TRUE(c.sendAck());
  EXPECT_EQ(c.receiveStop.load(), 0);
  c.stop();  // the link can send no more
  c.receiveStop = 0;
  EXPECT_FALSE(c.sendAck());
  EXPECT_EQ(c.receiveStop.load(), 1);
  EXPECT_EQ(c.acknowledgementsSent(), 1u);
}

TEST_F(SessionTest, HostileServersEndTheSessionCleanly) {
  WireMessage overLong = testing::screenUpdate(ConsoleMessage::kScreenUpdate, 0, 0, 8, 8, 0, {}, 52);
  overLong.header.setU32At(12, ClientConnection::kReceiveBufferSize + 1);
  WireMessage hugeRect = smallUpdate(ConsoleMessage::kScreenUpdate, 0, 0xFFFFFF);
  hugeRect.header.setU16At(6, 65535);
  hugeRect.header.setU16At(8, 65535);
  WireMessage undecodable = smallUpdate(ConsoleMessage::kScreenUpdate, 0, 0xFFFFFF);
  undecodable.payload[3] = 0;
  // Each byte costs the receive loop a pass and its 1 ms pause (several under a loaded Wine): a
  // flood long enough to show that nothing but the byte is lost, short enough for the peer's wait.
  Bytes unknownTypes(200);
  for (std::size_t i = 0; i < unknownTypes.size(); ++i) unknownTypes[i] = static_cast<std::uint8_t>(7 + i % 100);

  struct Row {
    const char* name;
    std::vector<ScriptStep> script;
    bool linkDies;
    std::size_t acks;  // after those of the screen that came first
  };
  const std::vector<Row> rows = {
      {"payload longer than the receive buffer", {sendBytes(overLong.wire())}, true, 0},
      {"rectangle beyond the decode buffer", {send(hugeRect), ScriptStep::receiveToEnd()}, true, 0},
      {"undecodable payload: acknowledged, nothing drawn",
       {send(undecodable), ack(), sendBytes(clipboardText), ack(), ScriptStep::receiveToEnd()}, false, 2},
      {"a flood of unknown type bytes, then a message",
       {sendBytes(unknownTypes), sendBytes(clipboardText), ack(), ScriptStep::receiveToEnd()}, false, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<ScriptStep> script = {send(testing::screenFormat(640, 480)), ack(), send(fullFrame(0x204060)), ack()};
    script.insert(script.end(), row.script.begin(), row.script.end());
    start(script);
    if (row.linkDies) {
      ASSERT_TRUE(eventually([&] { return connection->receiveThreadEnded(); }));
      EXPECT_FALSE(link->isAlive());
    } else {
      settle(2 + row.acks);
      EXPECT_FALSE(connection->receiveThreadEnded());
      EXPECT_TRUE(link->isAlive());
    }
    Bytes expected = concat({kDepth32, kAck, kAck});
    for (std::size_t i = 0; i < row.acks; ++i) expected.insert(expected.end(), kAck.begin(), kAck.end());
    EXPECT_EQ(sentAfterLogin(), expected);
    EXPECT_EQ(surface.pixel(0, 0), 0x204060u);
  }
}

TEST_F(SessionTest, PaintingAndScrollingWhileUpdatesArrive) {
  std::vector<ScriptStep> script = {send(testing::screenFormat(640, 480)), ack(), send(fullFrame(0x010203)), ack()};
  for (std::uint16_t i = 0; i < 30; ++i) {
    script.push_back(send(smallUpdate(i % 3 == 0 ? ConsoleMessage::kOverlayUpdate : ConsoleMessage::kScreenUpdate,
                                      static_cast<std::uint16_t>(i * 8), 0x0F0F0F)));
    script.push_back(ack());
  }
  script.push_back(ScriptStep::receiveToEnd());
  start(script);
  while (connection->display().updatesDrawn() < 21) {
    connection->display().paintWindow(window.viewerWindow());
    connection->display().setScroll({1, 2});
    connection->announceSurface(false);  // WM_DISPLAYCHANGE on the window thread
    std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(connection->receiveThreadEnded());
  }
}

TEST_F(SessionTest, TheSessionObjectTakesAtLeastItsClosingPauseAndDoesNotHang) {
  start({ScriptStep::receiveToEnd()}, {});
  const auto begin = std::chrono::steady_clock::now();
  connection.reset();
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 3s);
  link.reset();
  EXPECT_TRUE(peer->finish());
}

}  // namespace
}  // namespace vantrel
