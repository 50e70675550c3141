#include "server/console_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/net_platform.h"
#include "protocol/byte_io.h"
#include "protocol/credential_cipher.h"
#include "server/concurrent_logins.h"
#include "support/scripted_peer.h"
#include "support/xor_stream.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedPeer;
using testing::ScriptStep;

class FakeAccounts final : public AccountChecks {
 public:
  bool verifyAccountPassword(const std::string& user, const std::string& password) override {
    std::this_thread::sleep_for(delay);
    lastUser = user;
    const auto it = valid.find(user);
    return it != valid.end() && it->second == password;
  }
  std::map<std::string, std::string> valid{{"admin", "secret"}};
  std::string lastUser;
  std::chrono::milliseconds delay{0};
};

class ManualClock final : public TickClock {
 public:
  std::uint32_t tickCount() override { return now; }
  std::uint32_t now = 5000;
};

// The two blocks as the viewer sends them: the text in a zeroed area, scrambled whole.
std::vector<std::uint8_t> scrambledBlock(const std::string& text, std::size_t size) {
  std::vector<std::uint8_t> plain(size, 0), out(size, 0);
  std::copy_n(text.begin(), std::min(text.size(), size), plain.begin());
  CredentialCipher().scramble(plain.data(), out.data(), size);
  return out;
}

std::vector<ScriptStep> loginScript(const std::string& user, const std::string& password) {
  return {ScriptStep::receive(4), ScriptStep::sendU32(108), ScriptStep::send(scrambledBlock(user, 24)),
          ScriptStep::send(scrambledBlock(password, 264)), ScriptStep::receiveToEnd()};
}

std::vector<std::uint32_t> words(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) out.push_back(loadU32le(bytes.data() + i));
  return out;
}

// A connection from `source` (a loopback address) to the console; none when this system cannot
// connect from there.
net::NativeSocket connectFrom(const char* source, std::uint16_t port) {
  net::NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from{}, to{};
  from.sin_family = to.sin_family = AF_INET;
  from.sin_addr.s_addr = NetSocket::resolve(source);
  to.sin_addr.s_addr = NetSocket::resolve("127.0.0.1");
  to.sin_port = htons(port);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
      ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    net::closeNative(s);
    return net::kNoNativeSocket;
  }
  return s;
}

class ConsoleServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.setPorts(0, 0);
    server.setLoopbackOnly(true);
    server.setAllowLocal(true);
    ASSERT_TRUE(server.startListening());
    port = server.listeningPort().value_or(0);
  }

  // One connection from a viewer following `script`; the status words it received. The
  // console's side of it goes to `results`.
  std::vector<std::uint32_t> connect(std::vector<ScriptStep> script, bool* loggedIn = nullptr) {
    auto peer = ScriptedPeer::viewer(port, std::move(script));
    auto link = server.acceptConnection(std::chrono::seconds(5));
    results.push_back(link ? server.login(std::move(link), ConsoleServer::SessionClaim::Replace)
                           : ConsoleServer::LoginResult{});
    if (loggedIn) *loggedIn = results.back().loggedIn;
    if (results.back().loggedIn) server.endSession();  // lets a peer that waits for the end finish
    peer->finish();
    return words(peer->received());
  }

  FakeAccounts accounts;
  ClientLockTable locks;
  ManualClock clock;
  ConsoleServer server{accounts, locks, clock};
  std::uint16_t port = 0;
  std::vector<ConsoleServer::LoginResult> results;
};

TEST_F(ConsoleServerTest, LoginAnswersByCredentials) {
  struct Case { const char* user; const char* password; std::uint32_t second; bool loggedIn; };
  for (const Case& c : {Case{"admin", "secret", 101, true}, Case{"admin", "wrong", 102, false},
                        Case{"nobody", "secret", 102, false}, Case{"", "", 102, false}}) {
    locks.clear();
    bool loggedIn = false;
    EXPECT_EQ(connect(loginScript(c.user, c.password), &loggedIn), (std::vector<std::uint32_t>{107, c.second}))
        << c.user << "/" << c.password;
    EXPECT_EQ(loggedIn, c.loggedIn);
  }
  EXPECT_EQ(server.clientAddress(), "127.0.0.1");
  EXPECT_EQ(server.clientUser(), "admin");
}

TEST_F(ConsoleServerTest, RefusalChecksRunInOrderBeforeAnythingIsRead) {
  struct Case {
    const char* name;
    bool allowLocal, userActive, refuseAll, locked;
    std::int32_t filterEnabled;
    const char* filter;
    std::uint32_t expected;
  };
  for (const Case& c : {
           Case{"local beats everything", false, true, true, true, 1, "10.0.0.1;", 110},
           Case{"other user", true, true, true, true, 1, "10.0.0.1;", 106},
           Case{"refuse all", true, false, true, true, 1, "10.0.0.1;", 105},
           Case{"not in list", true, false, false, true, 1, "10.0.0.1;", 104},
           Case{"locked (the list lets it pass)", true, false, false, true, 1, "10.0.0.1;127.0.0.*;", 103},
           Case{"list off unless exactly 1", true, false, false, true, 2, "10.0.0.1;", 103},
       }) {
    locks.clear();
    if (c.locked) {
      for (int i = 0; i < 3; ++i) locks.recordFailure("127.0.0.1", clock.now);
    }
    server.setAllowLocal(c.allowLocal);
    server.setUserActive(c.userActive);
    server.setRefuseAll(c.refuseAll);
    server.setAddressFilter(c.filterEnabled, c.filter);
    // The viewer sends its whole login at once: a refusal must still be the only word.
    EXPECT_EQ(connect(loginScript("admin", "secret")), std::vector<std::uint32_t>{c.expected}) << c.name;
  }
}

TEST_F(ConsoleServerTest, AnyLoopbackAddressIsThisMachine) {
  server.setAllowLocal(false);
  const net::NativeSocket s = connectFrom("127.0.0.2", port);  // waits in the accept queue
  if (s == net::kNoNativeSocket) GTEST_SKIP() << "this system cannot connect from 127.0.0.2";
  server.acceptLogin();
  std::array<std::uint8_t, 4> status{};
  const auto got = ::recv(s, reinterpret_cast<char*>(status.data()), 4, 0);
  net::closeNative(s);
  ASSERT_EQ(got, 4);
  EXPECT_EQ(loadU32le(status.data()), 110u);
}

TEST_F(ConsoleServerTest, IncompleteOrWrongRequestsAreDroppedWithoutAWord) {
  const auto user = scrambledBlock("admin", 24);
  struct Case { const char* name; std::vector<ScriptStep> script; };
  for (auto& c : std::vector<Case>{
           {"request 107", {ScriptStep::receive(4), ScriptStep::sendU32(107), ScriptStep::receiveToEnd()}},
           {"short request", {ScriptStep::receive(4), ScriptStep::send({108, 0})}},
           {"short user block", {ScriptStep::receive(4), ScriptStep::sendU32(108),
                                 ScriptStep::send(std::vector<std::uint8_t>(user.begin(), user.begin() + 10))}},
           {"no password block", {ScriptStep::receive(4), ScriptStep::sendU32(108), ScriptStep::send(user)}},
       }) {
    EXPECT_EQ(connect(std::move(c.script)), std::vector<std::uint32_t>{107}) << c.name;
    EXPECT_EQ(locks.count(), 0u) << c.name << ": a dropped connection counts as no attempt";
    // The console's log tells a dropped login by its last word, 107, and no user read.
    EXPECT_EQ(results.back().status, ConsoleServer::proceed) << c.name;
    EXPECT_FALSE(results.back().loggedIn) << c.name;
    EXPECT_EQ(results.back().user, std::nullopt) << c.name;
  }
}

// A client that says nothing is dropped at the request word's short limit; one that drips its
// login a byte at a time keeps every single wait short, and only the limit on the whole login ends it.
TEST_F(ConsoleServerTest, SlowClientsAreDroppedAtTheLoginLimits) {
  server.setLoginLimits(200, 1200);
  auto dripped = ScriptStep::drip(std::vector<std::uint8_t>(40, 0), 100);
  dripped.insert(dripped.begin(), {ScriptStep::receive(4), ScriptStep::sendU32(108)});
  struct Row { const char* name; std::vector<ScriptStep> script; std::chrono::milliseconds least, most; };
  for (const Row& row : std::vector<Row>{
           {"silent", {ScriptStep::receive(4), ScriptStep::receiveToEnd()}, 150ms, 900ms},
           {"dripping", dripped, 1100ms, 2500ms},
       }) {
    const auto start = std::chrono::steady_clock::now();
    bool loggedIn = true;
    auto peer = ScriptedPeer::viewer(port, row.script);
    loggedIn = server.acceptLogin();
    const auto took = std::chrono::steady_clock::now() - start;
    peer->finish();
    EXPECT_FALSE(loggedIn) << row.name;
    EXPECT_EQ(words(peer->received()), std::vector<std::uint32_t>{107}) << row.name;
    EXPECT_GE(took, row.least) << row.name;
    EXPECT_LT(took, row.most) << row.name;
  }
}

TEST_F(ConsoleServerTest, UnterminatedCredentialBlocksAreReadWithinTheirSize) {
  const std::string full(24, 'a');
  connect(loginScript(full, std::string(264, 'b')));
  EXPECT_EQ(accounts.lastUser, full);
}

TEST_F(ConsoleServerTest, LockTableFollowsTheClockPort) {
  const auto fail = [&] { return connect(loginScript("admin", "bad")); };
  const auto good = [&] { return connect(loginScript("admin", "secret")); };
  using W = std::vector<std::uint32_t>;
  EXPECT_EQ(fail(), (W{107, 102}));
  EXPECT_EQ(fail(), (W{107, 102}));
  EXPECT_EQ(fail(), (W{107, 111}));
  clock.now += ClientLockTable::kLockMillis - 1;
  EXPECT_EQ(good(), (W{103}));  // locked: refused right after the accept, even with the right password
  clock.now += 1;
  EXPECT_EQ(fail(), (W{107, 102}));  // the lock has run out: a new count starts
  EXPECT_EQ(locks.entry(0).failures, 1);
  EXPECT_EQ(fail(), (W{107, 102}));
  EXPECT_EQ(good(), (W{107, 101}));  // a success starts the count again
  EXPECT_EQ(locks.entry(0).failures, 0);
  EXPECT_EQ(fail(), (W{107, 102}));
  EXPECT_EQ(locks.entry(0).failures, 1);
  EXPECT_EQ(locks.count(), 1u);

  // What the console logs of each: the user when it was read, and how long a lock holds.
  ASSERT_EQ(results.size(), 8u);
  EXPECT_EQ(results[0].user, "admin");
  EXPECT_EQ(results[2].lockedForMs, ClientLockTable::kLockMillis);
  EXPECT_EQ(results[3].user, std::nullopt);  // refused before it was read
  EXPECT_EQ(results[3].lockedForMs, 1u);
  EXPECT_EQ(results[4].lockedForMs, 0u);
}

TEST_F(ConsoleServerTest, FullLockTableStillLocksANewClient) {
  for (int i = 0; i < 100; ++i) locks.recordFailure("10.0.9." + std::to_string(i), clock.now);
  using W = std::vector<std::uint32_t>;
  EXPECT_EQ(connect(loginScript("admin", "bad")), (W{107, 102}));
  EXPECT_EQ(connect(loginScript("admin", "bad")), (W{107, 102}));
  EXPECT_EQ(connect(loginScript("admin", "bad")), (W{107, 111}));
  EXPECT_EQ(connect(loginScript("admin", "secret")), (W{103}));
  EXPECT_EQ(locks.count(), 100u);
}

// After the login: the framing of each direction and what a hostile viewer can make of it.
TEST_F(ConsoleServerTest, SessionFramingBothWays) {
  std::vector<std::uint8_t> fromViewer = {
      1, 1, 0, 0, 0x0D, 0xFF, 0, 0,  // key event
      9,                             // an unknown type byte, alone
      3, 0, 12, 0, 3, 0, 0, 0, 'a', 'b', 'c',  // clipboard text
      3, 0, 12, 0, 0, 0, 1, 0,       // clipboard text longer than the buffer
  };
  auto script = loginScript("admin", "secret");
  script.back() = ScriptStep::receive(8 + 8 + 8 + 3);
  script.push_back(ScriptStep::send(fromViewer));
  script.push_back(ScriptStep::receiveToEnd());
  auto peer = ScriptedPeer::viewer(port, std::move(script));
  ASSERT_TRUE(server.acceptLogin());

  std::uint8_t text[] = {'x', 'y', 'z'};
  const auto message = [](std::initializer_list<std::uint8_t> header, std::uint8_t* payload = nullptr) {
    ConsoleMessage m;
    std::copy(header.begin(), header.end(), m.header.begin());
    m.payload = payload;
    return m;
  };
  EXPECT_TRUE(server.sendToClient(message({1, 1, 0x34, 0x12, 0x20, 0, 0, 0})));  // a key: sent unchanged
  EXPECT_TRUE(server.sendToClient(message({3, 7, 18, 0, 32, 0, 0, 0})));  // only subtype 12 keeps its value
  EXPECT_TRUE(server.sendToClient(message({3, 0, 12, 0, 3, 0, 0, 0}, text)));
  EXPECT_FALSE(server.sendToClient(message({7})));

  std::array<std::uint8_t, 16> buffer{};
  ConsoleMessage in;
  in.payload = buffer.data();
  ASSERT_TRUE(server.receiveFromClient(in, buffer.size()));
  EXPECT_EQ(in.u32At(4), 0xFF0Du);
  EXPECT_FALSE(server.receiveFromClient(in, buffer.size()));  // the unknown byte
  EXPECT_TRUE(server.isLinkAlive());
  ASSERT_TRUE(server.receiveFromClient(in, buffer.size()));
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 3), "abc");
  EXPECT_FALSE(server.receiveFromClient(in, buffer.size()));  // 65,536 bytes do not fit
  EXPECT_FALSE(server.isLinkAlive());
  server.endSession();
  peer->finish();

  const std::vector<std::uint8_t> expected = {
      101, 0, 0, 0, 1, 1, 0x34, 0x12, 0x20, 0, 0, 0,  // 107 was read by the first step
      3, 0, 18, 0, 0, 0, 0, 0, 3, 0, 12, 0, 3, 0, 0, 0, 'x', 'y', 'z'};
  const auto& got = peer->received();
  ASSERT_GE(got.size(), 4u + expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + 4, got.begin() + 4 + static_cast<long>(expected.size())), expected);
}

// A secure channel gets each connection before its first word, with the request word's limit;
// the login and the session go through it. A channel that cannot be made drops the connection.
TEST_F(ConsoleServerTest, SecureChannelCarriesTheLoginAndTheSession) {
  std::chrono::steady_clock::time_point deadline{};
  server.setSecureChannel([&](NetSocket& accepted, std::chrono::steady_clock::time_point by) {
    deadline = by;
    return std::make_unique<testing::XorStream>(accepted);
  });
  auto script = loginScript("admin", "secret");
  for (auto& step : script) step.bytes = testing::xored(step.bytes);
  script.back() = ScriptStep::receive(4 + 8);
  const auto start = std::chrono::steady_clock::now();
  auto peer = ScriptedPeer::viewer(port, std::move(script));
  ASSERT_TRUE(server.acceptLogin());
  ConsoleMessage key;
  key.header = {1, 1, 0, 0, 0x20, 0, 0, 0};
  EXPECT_TRUE(server.sendToClient(key));
  EXPECT_TRUE(peer->finish());
  server.endSession();
  EXPECT_EQ(words(testing::xored(peer->received())), (std::vector<std::uint32_t>{107, 101, 0x101, 0x20}));
  EXPECT_GE(deadline, start + std::chrono::milliseconds(ConsoleServer::kRequestWordLimitMs));
  EXPECT_LE(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(ConsoleServer::kRequestWordLimitMs));

  server.setSecureChannel([](NetSocket&, std::chrono::steady_clock::time_point) { return nullptr; });
  EXPECT_TRUE(connect({ScriptStep::receiveToEnd()}).empty());
  EXPECT_TRUE(results.back().secureChannelFailed);
  EXPECT_EQ(results.back().status, 0u);
}

// Beside a secure channel, a clear port for viewers that cannot speak it: what comes there goes
// without the channel, and whichever port has a connection first is served first.
TEST_F(ConsoleServerTest, AClearPortBesideTheChannelGoesWithoutIt) {
  ConsoleServer both{accounts, locks, clock};
  both.setPorts(0, 0);
  both.setLoopbackOnly(true);
  both.setAllowLocal(true);
  both.setSecureChannel([](NetSocket& accepted, std::chrono::steady_clock::time_point) {
    return std::make_unique<testing::XorStream>(accepted);
  });
  both.setClearPort(0);
  ASSERT_TRUE(both.startListening());
  const auto clear = both.clearListeningPort();
  ASSERT_TRUE(clear && *clear != both.listeningPort());
  for (const bool secured : {false, true, false}) {
    auto script = loginScript("admin", "secret");
    if (secured) {
      for (auto& step : script) step.bytes = testing::xored(step.bytes);
    }
    auto peer = ScriptedPeer::viewer(secured ? both.listeningPort().value_or(0) : *clear, std::move(script));
    auto link = both.acceptConnection(5s);
    ASSERT_TRUE(link);
    const auto result = both.login(std::move(link), ConsoleServer::SessionClaim::Replace);
    EXPECT_TRUE(result.loggedIn);
    EXPECT_EQ(result.secured, secured);
    both.endSession();
    peer->finish();
    EXPECT_EQ(words(secured ? testing::xored(peer->received()) : peer->received()),
              (std::vector<std::uint32_t>{107, 101}));
  }
}

TEST_F(ConsoleServerTest, PeerThatClosesEndsTheSession) {
  auto script = loginScript("admin", "secret");
  script.back() = ScriptStep::receive(4);
  auto peer = ScriptedPeer::viewer(port, std::move(script));
  ASSERT_TRUE(server.acceptLogin());
  peer->finish();
  std::array<std::uint8_t, 4> buffer{};
  ConsoleMessage in;
  in.payload = buffer.data();
  EXPECT_FALSE(server.receiveFromClient(in, buffer.size()));
  EXPECT_FALSE(server.isLinkAlive());
  server.endSession();
  EXPECT_FALSE(server.sendToClient(in));
}

// Silent and dripping connections, each holding a login open, cannot keep a viewer out; one
// address beyond its few is closed at once; the session is still one.
TEST_F(ConsoleServerTest, LoginsRunSideBySide) {
  server.setLoginLimits(30000, 30000);  // however slowly this machine connects them, none ends early
  ConcurrentLogins logins(server);
  // 32 connections, four from each of eight addresses, each told to proceed before the next
  // comes (so that none waits in the accept queue).
  std::vector<net::NativeSocket> hostile;
  for (int i = 0; i < 32; ++i) {
    const std::string source = "127.0.0." + std::to_string(2 + i / 4);
    hostile.push_back(connectFrom(source.c_str(), port));
    std::array<std::uint8_t, 4> word{};
    if (hostile.back() == net::kNoNativeSocket) {
      for (const auto s : hostile) net::closeNative(s);
      GTEST_SKIP() << "this system cannot connect from " << source;
    }
    net::setTimeoutOption(hostile.back(), SO_RCVTIMEO, 5000);
    ASSERT_EQ(::recv(hostile.back(), reinterpret_cast<char*>(word.data()), 4, 0), 4);
    EXPECT_EQ(loadU32le(word.data()), 107u);
  }
  std::atomic<bool> dripping{true};
  std::thread dripper([&] {
    const std::uint8_t request[] = {108, 0, 0, 0};
    for (std::size_t n = 0; dripping && n < 100; ++n) {
      for (std::size_t i = 1; i < hostile.size(); i += 2) {
        ::send(hostile[i], reinterpret_cast<const char*>(&request[std::min<std::size_t>(n, 3)]), 1, net::kSendFlags);
      }
      std::this_thread::sleep_for(100ms);
    }
  });
  const auto nextOutcome = [&] {
    auto outcome = logins.next();
    ConcurrentLogins::Outcome none;
    none.login.status = 999;
    return outcome.value_or(none);
  };

  const net::NativeSocket oneTooMany = connectFrom("127.0.0.2", port);
  auto outcome = nextOutcome();
  EXPECT_EQ(outcome.login.status, 0u);
  EXPECT_EQ(outcome.address, "127.0.0.2");
  std::array<char, 4> none{};
  EXPECT_EQ(::recv(oneTooMany, none.data(), 4, 0), 0) << "closed without a word";
  net::closeNative(oneTooMany);

  const auto start = std::chrono::steady_clock::now();
  auto viewer = ScriptedPeer::viewer(port, loginScript("admin", "secret"));
  outcome = nextOutcome();
  EXPECT_TRUE(outcome.login.loggedIn);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  auto later = ScriptedPeer::viewer(port, loginScript("admin", "secret"));
  EXPECT_EQ(nextOutcome().login.status, 106u);

  dripping = false;
  dripper.join();
  const auto stopping = std::chrono::steady_clock::now();
  logins.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
  EXPECT_FALSE(logins.next());
  server.endSession();
  viewer->finish();
  for (const auto s : hostile) net::closeNative(s);
}

// Two valid logins that both passed the refusal checks: the first to finish takes the session,
// the other is told that another user is logged in.
TEST_F(ConsoleServerTest, OnlyOneOfTwoConcurrentLoginsTakesTheSession) {
  accounts.delay = 150ms;  // both are past the checks before either has an answer
  ConcurrentLogins logins(server);
  auto first = ScriptedPeer::viewer(port, loginScript("admin", "secret"));
  auto second = ScriptedPeer::viewer(port, loginScript("admin", "secret"));
  std::vector<std::uint32_t> statuses;
  for (int i = 0; i < 2; ++i) statuses.push_back(logins.next().value_or(ConcurrentLogins::Outcome{}).login.status);
  std::sort(statuses.begin(), statuses.end());
  EXPECT_EQ(statuses, (std::vector<std::uint32_t>{101, 106}));
  logins.stop();
  server.endSession();
}

}  // namespace
}  // namespace vantrel
