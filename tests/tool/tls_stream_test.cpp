// The protocol's bytes inside TLS over loopback: both ways at once from several threads, every
// wait bounded, a clear peer and a certificate for another name told apart.
#include "tls/tls_stream.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include "protocol/byte_io.h"
#include "support/temp_dir.h"
#include "tls/tls_contexts.h"
#include "tls/tls_identity.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Two ends of a loopback connection; TLS on them when the test asks. A send that the other end
// does not take (a test that failed) gives up in time.
struct Connection {
  Connection() {
    NetSocket::startup();
    listener.createTcp();
    listener.bind(0, true);
    listener.listen();
    client.createTcp();
    client.connect("127.0.0.1", listener.localPort().value_or(0), 2000ms);
    server = listener.accept(2000ms);
    client.setSendTimeout(20000);
    if (server) server->setSendTimeout(20000);
  }
  NetSocket listener;
  NetSocket client;
  std::unique_ptr<NetSocket> server;
};

class TlsStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    const auto identity = keptIdentity(dir.path(), "console", error);
    ASSERT_TRUE(identity) << error;
    serverContext = vantrel::cli::serverContext(*identity, error);
    clientContext = vantrel::cli::clientContext(std::nullopt, error);
    ASSERT_TRUE(serverContext && clientContext) << error;
  }

  // Both handshakes at once, the server's on a thread of its own.
  struct Pair {
    std::unique_ptr<TlsStream> client, server;
    TlsFailure clientFailure, serverFailure;
  };
  Pair shakeHands(Connection& c, SSL_CTX& clientSide, const std::string& host = "127.0.0.1") {
    Pair p;
    const auto deadline = Clock::now() + 5s;
    auto server = std::async(std::launch::async, [&] {
      return TlsStream::accept(*serverContext, *c.server, deadline, p.serverFailure);
    });
    p.client = TlsStream::connect(clientSide, c.client, host, deadline, p.clientFailure);
    p.server = server.get();
    return p;
  }

  test::TempDir dir;
  SslContextPtr serverContext, clientContext;
};

// Each end sends from two threads while it receives on a third: records of many sizes, each
// message whole in one call, must arrive intact and in each sender's order.
TEST_F(TlsStreamTest, BothWaysAtOnceFromTwoSendersEach) {
  Connection c;
  Pair p = shakeHands(c, *clientContext);
  ASSERT_TRUE(p.client && p.server) << p.clientFailure.reason << " / " << p.serverFailure.reason;
  EXPECT_NE(p.client->description().find("TLSv1.3"), std::string::npos) << p.client->description();

  constexpr std::uint32_t kMessages = 150;
  const auto message = [](std::uint8_t sender, std::uint32_t seq) {
    std::vector<std::uint8_t> m(9 + (seq * 7919u) % 40000u);
    m[0] = sender;
    storeU32le(&m[1], seq);
    storeU32le(&m[5], static_cast<std::uint32_t>(m.size() - 9));
    for (std::size_t i = 9; i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(seq * 31 + i);
    return m;
  };
  const auto send = [&](TlsStream& stream, std::uint8_t sender) {
    for (std::uint32_t seq = 0; seq < kMessages; ++seq) {
      if (!stream.sendExact(message(sender, seq))) return false;
    }
    return true;
  };
  // True when every message of both senders came whole and in order.
  const auto receive = [&](TlsStream& stream) {
    std::array<std::uint32_t, 2> next{};
    for (std::uint32_t got = 0; got < 2 * kMessages; ++got) {
      std::array<std::uint8_t, 9> header{};
      if (!stream.receiveExact(header, Clock::now() + 20s) || header[0] > 1) return false;
      std::vector<std::uint8_t> m(9 + loadU32le(&header[5]));
      std::copy(header.begin(), header.end(), m.begin());
      if (!stream.receiveExact(std::span(m).subspan(9), Clock::now() + 20s)) return false;
      if (m != message(header[0], next[header[0]]++)) return false;
    }
    return true;
  };
  std::vector<std::future<bool>> work;
  for (TlsStream* stream : {p.client.get(), p.server.get()}) {
    work.push_back(std::async(std::launch::async, receive, std::ref(*stream)));
    for (const std::uint8_t sender : {std::uint8_t{0}, std::uint8_t{1}}) {
      work.push_back(std::async(std::launch::async, send, std::ref(*stream), sender));
    }
  }
  for (auto& w : work) EXPECT_TRUE(w.get());
}

TEST_F(TlsStreamTest, EveryWaitEndsInTime) {
  {
    // A peer that says nothing: the handshake gives up at its deadline, on either side.
    Connection c;
    TlsFailure failure;
    const auto start = Clock::now();
    EXPECT_FALSE(TlsStream::accept(*serverContext, *c.server, start + 300ms, failure));
    EXPECT_NE(failure.reason.find("nothing came in time"), std::string::npos) << failure.reason;
    EXPECT_FALSE(TlsStream::connect(*clientContext, c.client, "127.0.0.1", Clock::now() + 300ms, failure));
    EXPECT_EQ(failure.reason, "the TLS handshake did not finish in time");
    EXPECT_LT(Clock::now() - start, 3s);
  }
  Connection c;
  Pair p = shakeHands(c, *clientContext);
  ASSERT_TRUE(p.client && p.server);
  std::array<std::uint8_t, 4> word{};
  const auto start = Clock::now();
  EXPECT_FALSE(p.client->receiveExact(word, start + 200ms));
  EXPECT_FALSE(p.client->isAlive());
  // A receive without a deadline ends when another thread shuts the stream down.
  auto blocked = std::async(std::launch::async, [&] { return p.server->receiveExact(word); });
  std::this_thread::sleep_for(100ms);
  p.server->shutdownBoth();
  ASSERT_EQ(blocked.wait_for(2s), std::future_status::ready);
  EXPECT_FALSE(blocked.get());
  EXPECT_LT(Clock::now() - start, 3s);
}

TEST_F(TlsStreamTest, AClearConsoleIsToldApart) {
  Connection c;
  const std::array<std::uint8_t, 4> proceed = {107, 0, 0, 0};
  ASSERT_TRUE(c.server->sendExact(proceed));
  TlsFailure failure;
  EXPECT_FALSE(TlsStream::connect(*clientContext, c.client, "127.0.0.1", Clock::now() + 500ms, failure));
  EXPECT_NE(failure.reason.find("answered without TLS"), std::string::npos) << failure.reason;
}

// With a CA bundle the certificate must be signed by it and made out to the name or address the
// viewer used.
TEST_F(TlsStreamTest, ACertificateAuthorityChecksTheNameToo) {
  const auto key = dir.path() / "key.pem", certificate = dir.path() / "certificate.pem";
  const std::string make = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "
                           "/CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
                           key.string() + "' -out '" + certificate.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  std::string error;
  const auto identity = loadIdentity(certificate.string(), key.string(), error);
  ASSERT_TRUE(identity) << error;
  serverContext = vantrel::cli::serverContext(*identity, error);
  const SslContextPtr trusting = vantrel::cli::clientContext(certificate.string(), error);
  const SslContextPtr stranger = vantrel::cli::clientContext((dir.path() / "console.pem").string(), error);
  ASSERT_TRUE(serverContext && trusting && stranger) << error;

  struct Row { SSL_CTX* context; const char* host; const char* refusal; };
  for (const Row& row : {Row{trusting.get(), "127.0.0.1", nullptr}, Row{trusting.get(), "localhost", nullptr},
                         Row{trusting.get(), "console.example", "hostname mismatch"},
                         Row{stranger.get(), "localhost", "self-signed certificate"}}) {
    Connection c;
    Pair p = shakeHands(c, *row.context, row.host);
    EXPECT_EQ(p.client != nullptr, row.refusal == nullptr) << row.host << ": " << p.clientFailure.reason;
    if (row.refusal != nullptr) {
      EXPECT_TRUE(p.clientFailure.certificateRefused) << row.host;
      EXPECT_NE(p.clientFailure.reason.find(row.refusal), std::string::npos) << p.clientFailure.reason;
    }
  }
}

}  // namespace
}  // namespace vantrel::cli
