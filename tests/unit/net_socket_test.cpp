#include "net/net_socket.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "net/net_platform.h"
#include "support/probe_responders.h"
#include "support/scripted_peer.h"

namespace vantrel {
namespace {

using testing::ScriptedPeer;
using testing::ScriptStep;

class NetSocketTest : public ::testing::Test {
 protected:
  NetSocketTest() { NetSocket::startup(); }

  static bool connect(NetSocket& s, const ScriptedPeer& peer) {
    return s.createTcp() && s.connect("127.0.0.1", peer.port(), std::chrono::milliseconds(2000));
  }
};

TEST_F(NetSocketTest, ExactTransfersOfNothingSucceedWithoutTraffic) {
  auto peer = ScriptedPeer::console({ScriptStep::receiveToEnd()});
  NetSocket s;
  ASSERT_TRUE(connect(s, *peer));
  std::array<std::uint8_t, 1> none{};
  EXPECT_TRUE(s.sendExact(std::span(none).first(0)));
  EXPECT_TRUE(s.receiveExact(std::span(none).first(0)));
  s.close();
  EXPECT_TRUE(peer->finish());
  EXPECT_TRUE(peer->received().empty());
}

// A peer that hangs up, cleanly or with a reset, will send nothing more: the connection is dead
// for good, also across a new connection on the same instance.
TEST_F(NetSocketTest, CloseOrResetEndsTheConnectionForGood) {
  const std::vector<ScriptStep> close = {ScriptStep::receive(1), ScriptStep::send({1, 2})};
  std::vector<ScriptStep> reset = close;
  reset.push_back(ScriptStep::reset());
  // The peer waits for a byte so that it cannot reset the connection before connect has seen it
  // established.
  const std::array<std::uint8_t, 1> hello{9};
  for (const auto& script : {close, reset}) {
    SCOPED_TRACE(script.size());
    auto peer = ScriptedPeer::console(script);
    NetSocket s;
    ASSERT_TRUE(connect(s, *peer));
    ASSERT_TRUE(s.sendExact(hello));
    ASSERT_TRUE(peer->finish());
    std::array<std::uint8_t, 4> word{};
    EXPECT_FALSE(s.receiveExact(word));
    EXPECT_FALSE(s.isAlive());

    auto next = ScriptedPeer::console({ScriptStep::sendU32(7)});
    ASSERT_TRUE(connect(s, *next));
    EXPECT_TRUE(s.receiveExact(word));
    EXPECT_FALSE(s.isAlive());
  }
}

// The port is taken on the listener's address only: another loopback address may have it.
TEST_F(NetSocketTest, BindRefusesAPortWhereSomethingListensOnTheSameAddress) {
  const struct { const char* listener; const char* binder; bool bound; } rows[] = {
      {"127.0.0.1", "127.0.0.1", false},
      {"127.0.0.1", "127.84.0.1", true},
      {"127.84.0.2", "127.84.0.2", false},
      {"127.84.0.3", "127.0.0.1", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.listener) + " then " + row.binder);
    NetSocket listener;
    ASSERT_TRUE(listener.createTcp() && listener.bindTo(NetSocket::resolve(row.listener), 0) && listener.listen());
    const std::uint16_t port = listener.localPort().value_or(0);
    NetSocket tcp, udp;
    EXPECT_EQ(tcp.createTcp() && tcp.bindTo(NetSocket::resolve(row.binder), port), row.bound);
    EXPECT_EQ(udp.createUdp() && udp.bindTo(NetSocket::resolve(row.binder), port), row.bound);
    EXPECT_TRUE(udp.createUdp() && udp.bindTo(NetSocket::resolve(row.binder), 0));
  }
}

// The tool's IPv6: both ends name each other as the allow list and the lock table expect, an
// IPv4 viewer of a "::" listener by its IPv4 address.
TEST_F(NetSocketTest, Ipv6ListenersAndConnectsNameBothEnds) {
  if (NetSocket probe; !probe.createTcp6BoundTo("::1", 0)) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  struct Row { const char* listen; const char* connect; const char* peer; const char* key; };
  for (const Row& row : {Row{"::1", "::1", "::1", "::"}, Row{"::", "::1", "::1", "::"},
                         Row{"::", "127.0.0.1", "127.0.0.1", "127.0.0.1"}, Row{"::", "localhost", "127.0.0.1", "127.0.0.1"}}) {
    SCOPED_TRACE(std::string(row.listen) + " <- " + row.connect);
    NetSocket listener, viewer;
    ASSERT_TRUE(listener.createTcp6BoundTo(row.listen, 0) && listener.listen());
    const std::uint16_t port = listener.localPort().value_or(0);
    ASSERT_TRUE(viewer.connectAnyFamily(row.connect, port, std::chrono::milliseconds(5000)));
    const auto accepted = listener.accept(std::chrono::milliseconds(5000));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->peerAddress(), row.peer);
    EXPECT_EQ(accepted->localAddress(), row.peer);
    EXPECT_EQ(viewer.peerAddress(), row.peer);
    std::string key;
    EXPECT_FALSE(accepted->peerMac(key));  // loopback has no hardware address
    EXPECT_EQ(key, row.key);
  }
  NetSocket socket;
  EXPECT_FALSE(socket.createTcp6BoundTo("127.0.0.1", 0));
  EXPECT_EQ(NetSocket::resolve("::1"), 0u);
}

// A host may take any address of its IPv6 /64: the lockout and the per-address limit count the
// /64, whose text still fits the lock table's 20 characters apart from a trailing colon.
TEST(ClientKey, AnIpv6AddressCountsAsItsSlash64) {
  struct Row { const char* address; const char* key; };
  for (const Row& row : {Row{"192.0.2.7", "192.0.2.7"}, Row{"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::"},
                         Row{"2001:db8:1:2:ffff::1", "2001:db8:1:2::"}, Row{"2001:db8:1:3::1", "2001:db8:1:3::"},
                         Row{"2001:db8:85a3:8d3:1319:8a2e:370:7348", "2001:db8:85a3:8d3::"}, Row{"fe80::1", "fe80::"},
                         Row{"<unavailable>", "<unavailable>"}, Row{"", ""}}) {
    EXPECT_EQ(clientKeyOf(row.address), row.key) << row.address;
  }
}

TEST_F(NetSocketTest, ResolveTakesDottedTextAsItIs) {
  EXPECT_EQ(NetSocket::resolve("0.0.0.0"), 0u);
  EXPECT_EQ(NetSocket::resolve("127.0.0.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(NetSocket::resolve("localhost"), htonl(INADDR_LOOPBACK));
}

TEST_F(NetSocketTest, DiscoverStopsListingNamesThatDoNotFit) {
  testing::ProbeResponders responders({"alpha", "beta", "gamma"});
  NetSocket s;
  std::array<char, 12> names{};  // "alpha," and "beta," fit with the terminator; "gamma," does not
  ASSERT_TRUE(s.createBroadcastUdp());
  EXPECT_TRUE(s.discover(responders.port(), names, htonl(INADDR_LOOPBACK)));
  EXPECT_STREQ(names.data(), "alpha,beta,");
  std::vector<std::uint8_t> probe(32, 0);
  std::copy_n("console", 7, probe.begin());
  EXPECT_EQ(responders.finish(), probe);
}

TEST_F(NetSocketTest, ProbeResponderAnswersWithTheComputerNameUntilStopped) {
  NetSocket responder;
  ASSERT_TRUE(responder.createUdp() && responder.bind(0, true));
  const std::uint16_t port = responder.localPort().value_or(0);
  bool served = false;
  std::thread serving([&] { served = responder.serveProbes(); });

  NetSocket asker;
  std::array<char, 64> names{};
  ASSERT_TRUE(asker.createBroadcastUdp());
  EXPECT_TRUE(asker.discover(port, names, htonl(INADDR_LOOPBACK)));
  EXPECT_EQ(std::string(names.data()), net::computerName().value_or("?") + ",");

  // Stopping takes effect once the next datagram, whatever it holds, has been answered.
  responder.setRunning(false);
  const net::NativeSocket raw = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(raw, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  serving.join();
  net::closeNative(raw);
  EXPECT_TRUE(served);
}

}  // namespace
}  // namespace vantrel
