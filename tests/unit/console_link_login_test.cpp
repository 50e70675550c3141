#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "protocol/console_link.h"
#include "protocol/credential_cipher.h"
#include "support/recording_message_boxes.h"
#include "support/scripted_peer.h"
#include "support/xor_stream.h"

namespace vantrel {
namespace {

using testing::RecordedMessages;
using testing::ScriptedPeer;
using testing::ScriptStep;

int ownerToken;
constexpr auto kResolutionText =
    "The resolution of the current server is not supported, please change to 640X480,800X600 or 1024X768.";

struct StatusRow {
  std::uint32_t status;
  int result;
  std::string box;  // the recorded text: catalogue key with suffix, or the fixed text; empty for none
  bool raisesShowing;
};

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() { recorded.messages.ownerWindow = &ownerToken; }

  int login(const ScriptedPeer& peer, std::string_view user = "operator", std::string_view password = "secret") {
    ConsoleLink link(recorded.messages, options(peer.port()));
    return link.connectAndLogin("127.0.0.1", kLoginRequest, user, password);
  }

  static ConsoleLinkOptions options(std::uint16_t port) {
    ConsoleLinkOptions o;
    o.tcpPort = port;
    o.connectLimit = std::chrono::milliseconds(2000);
    o.loginLimit = std::chrono::milliseconds(300);
    return o;
  }

  void expectBox(const StatusRow& row) {
    const auto boxes = recorded.boxes.boxes();
    if (row.box.empty()) {
      EXPECT_TRUE(boxes.empty());
      return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, row.box);
    EXPECT_EQ(boxes[0].owner, &ownerToken);
    EXPECT_EQ(boxes[0].caption, "Vantrel");
    EXPECT_EQ(boxes[0].style, kBoxStyleError);
    EXPECT_EQ(boxes[0].showingWhileUp, row.raisesShowing ? 1 : 0);
    EXPECT_EQ(recorded.messages.msgBoxShowing, 0);
  }

  RecordedMessages recorded;
};

// The console answers the connection with a first status word, and the credentials with a second.
TEST_F(LoginTest, EachStatusGivesItsBoxAndResult) {
  const std::vector<StatusRow> firstStage = {
      {102, 102, "ClientLocked_en", true},         {103, 103, "LoginFailed_en", true},
      {104, 104, "ConnectServerFailed_en", true},  {105, 105, "ConnectServerFailed_en", true},
      {106, 106, "LoginFailed_en", true},          {110, 110, "LocalConnectFailed_en", true},
      {111, 111, "ThreeTimeFailed_en", true},      {112, 112, "OtherUserHasLogin_en", true},
      {113, 113, "UserRestricted_en", true},       {114, 114, "userLocked_en", true},
      {132, 132, kResolutionText, false},          {101, -2, "LoginFailed_en", true},
      {108, -2, "LoginFailed_en", true},           {131, -2, "LoginFailed_en", true},
      {0, -2, "LoginFailed_en", true},             {0xFFFFFFFF, -2, "LoginFailed_en", true},
  };
  const std::vector<StatusRow> secondStage = {
      {101, 1, "", true},
      {111, 111, "", true},
      {113, 113, "UserRestricted_en", true},
      {114, 114, "userLocked_en", true},
      {115, 115, "ReferenUser_en", true},
      {116, 116, "ServerNoResponse_en", true},
      {117, 117, "AccountDisable_en", true},
      {118, 118, "NextLogonChangePwd_en", true},
      {132, 132, "ScreenTooLarge_en", false},
      {102, -2, "LoginFailed_en", true},  // wrong credentials, as the responder says it
      {107, -2, "LoginFailed_en", true},  // proceeding means something only in the first stage
      {112, -2, "LoginFailed_en", true},
      {119, -2, "LoginFailed_en", true},
      {0, -2, "LoginFailed_en", true},
  };
  for (const bool second : {false, true}) {
    for (const auto& row : second ? secondStage : firstStage) {
      SCOPED_TRACE(::testing::Message() << (second ? "second " : "first ") << row.status);
      recorded.boxes.clear();
      // A refused first stage closes the connection, which ends the peer's script.
      std::vector<ScriptStep> script = {ScriptStep::sendU32(row.status), ScriptStep::receiveToEnd()};
      if (second) script.insert(script.begin(), {ScriptStep::sendU32(107), ScriptStep::receive(testing::kLoginBytes)});
      auto peer = ScriptedPeer::console(script);
      EXPECT_EQ(login(*peer), row.result);
      EXPECT_TRUE(peer->finish());
      EXPECT_EQ(peer->received().size(), second ? testing::kLoginBytes : 0u);
      expectBox(row);
    }
  }
}

TEST_F(LoginTest, CredentialsGoOutScrambledAndCutToTheirFields) {
  auto peer = ScriptedPeer::console(testing::loginSteps());
  const std::string user = "abcdefghijklmnopqrstuvwxy";  // 25 characters, 21 survive
  ASSERT_EQ(login(*peer, user, ""), 1);
  ASSERT_TRUE(peer->finish());

  std::vector<std::uint8_t> userField(24, 0), passwordField(264, 0);
  std::copy_n(user.begin(), 21, userField.begin());
  std::vector<std::uint8_t> expected = {108, 0, 0, 0};
  CredentialCipher cipher;
  for (auto* field : {&userField, &passwordField}) {
    std::vector<std::uint8_t> out(field->size());
    cipher.scramble(field->data(), out.data(), out.size());
    expected.insert(expected.end(), out.begin(), out.end());
  }
  EXPECT_EQ(peer->received(), expected);
}

// A server that takes the connection and then never answers, or drips its words a byte at a
// time, must not hold the login beyond its bound (300 ms here).
TEST_F(LoginTest, SilentOrDrippingServerFailsAtTheLoginBound) {
  auto dripped = ScriptStep::drip({107, 0, 0, 0}, 120);
  dripped.insert(dripped.end(), {ScriptStep::receive(testing::kLoginBytes), ScriptStep::sendU32(101),
                                 ScriptStep::receiveToEnd()});
  const std::vector<std::vector<ScriptStep>> scripts = {
      {ScriptStep::receiveToEnd()},
      {ScriptStep::sendU32(107), ScriptStep::receiveToEnd()},
      dripped,  // every byte comes well within the bound, the word as a whole does not
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.size());
    auto peer = ScriptedPeer::console(script);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(login(*peer), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    peer->finish();
    EXPECT_TRUE(recorded.boxes.boxes().empty());
  }
}

TEST_F(LoginTest, NoConnectionOrNoStatusGivesZeroWithoutBox) {
  auto hangsUp = ScriptedPeer::console({});
  NetSocket unused;
  ASSERT_TRUE(unused.createTcp() && unused.bind(0, true));
  const std::uint16_t freePort = unused.localPort().value_or(0);
  unused.close();
  for (const std::uint16_t port : {hangsUp->port(), freePort}) {
    ConsoleLink link(recorded.messages, options(port));
    EXPECT_EQ(link.connectAndLogin("127.0.0.1", kLoginRequest, "u", "p"), 0);
  }
  EXPECT_TRUE(recorded.boxes.boxes().empty());
}

// A secure channel is handed the connected socket, the host and the login's deadline, and every
// byte after the connect goes through it; a channel that cannot be made is no connection.
TEST_F(LoginTest, SecureChannelCarriesEverythingAfterTheConnect) {
  auto peer = ScriptedPeer::console({ScriptStep::send(testing::xored({107, 0, 0, 0})),
                                     ScriptStep::receive(testing::kLoginBytes),
                                     ScriptStep::send(testing::xored({101, 0, 0, 0}))});
  ConsoleLinkOptions o = options(peer->port());
  std::string host;
  std::chrono::steady_clock::time_point deadline{};
  o.secureChannel = [&](NetSocket& connected, const std::string& to, std::chrono::steady_clock::time_point by) {
    host = to;
    deadline = by;
    return std::make_unique<testing::XorStream>(connected);
  };
  const auto start = std::chrono::steady_clock::now();
  ConsoleLink link(recorded.messages, o);
  EXPECT_EQ(link.connectAndLogin("127.0.0.1", kLoginRequest, "operator", "secret"), 1);
  ASSERT_TRUE(peer->finish());
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_GE(deadline, start + o.loginLimit);
  EXPECT_LE(deadline, std::chrono::steady_clock::now() + o.loginLimit);
  const auto sent = testing::xored(peer->received());
  EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 4), (std::vector<std::uint8_t>{108, 0, 0, 0}));

  auto silent = ScriptedPeer::console({ScriptStep::receiveToEnd()});
  o.tcpPort = silent->port();
  o.secureChannel = [](NetSocket&, const std::string&, std::chrono::steady_clock::time_point) {
    return std::unique_ptr<ByteStream>();
  };
  ConsoleLink refused(recorded.messages, o);
  EXPECT_EQ(refused.connectAndLogin("127.0.0.1", kLoginRequest, "operator", "secret"), 0);
  EXPECT_TRUE(silent->finish());
  EXPECT_TRUE(silent->received().empty());
  EXPECT_TRUE(recorded.boxes.boxes().empty());
}

}  // namespace
}  // namespace vantrel
