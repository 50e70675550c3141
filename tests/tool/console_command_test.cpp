// `vantrel console` run as a program, with a viewer-side fake that logs in over loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "net/net_socket.h"
#include "png_image.h"
#include "protocol/byte_io.h"
#include "protocol/message_framing.h"
#include "screen/screen_codec.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/x_painter.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Applies a true-colour update to the viewer's copy of the screen by exclusive-or.
void apply(std::vector<std::uint16_t>& screen, const ConsoleMessage& m, std::span<const std::uint8_t> payload) {
  const int x = m.u16At(2), y = m.u16At(4), w = m.u16At(6), h = m.u16At(8);
  const std::uint32_t headerLength = m.u32At(16);
  ASSERT_EQ(loadU16le(payload.data() + 14), 16);
  std::vector<std::uint8_t> plain(headerLength + static_cast<std::size_t>(w * h * 2));
  ASSERT_EQ(ScreenCodec().decode(payload, plain, headerLength), static_cast<std::int32_t>(plain.size()));
  for (int row = 0; row < h; ++row) {
    const std::uint8_t* src = plain.data() + headerLength + static_cast<std::size_t>((h - 1 - row) * w * 2);
    for (int col = 0; col < w; ++col) {
      screen[static_cast<std::size_t>((y + row) * kWidth + x + col)] ^= loadU16le(src + col * 2);
    }
  }
}

std::string waitForLogLine(const std::filesystem::path& log, const std::string& needle) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find(needle) != std::string::npos) return text;
    std::this_thread::sleep_for(10ms);
  }
  return {};
}

class ConsoleCommand : public ::testing::Test {
 protected:
  void SetUp() override { addAccount(accounts, "admin", "secret"); }
  test::TempDir dir;
  std::filesystem::path accounts = dir.path() / "accounts";
};

TEST_F(ConsoleCommand, ServesPicturesAndTheirChangesPacedByAcknowledgements) {
  std::string error;
  RgbImage first = test::testPicture(kWidth, kHeight, 0), second = first;
  for (int y = 100; y < 140; ++y) {
    for (int x = 200; x < 300; ++x) second.rgb[static_cast<std::size_t>((y * kWidth + x) * 3)] ^= 0xFF;
  }
  ASSERT_TRUE(savePng((dir.path() / "a.png").string(), first, error)) << error;
  ASSERT_TRUE(savePng((dir.path() / "b.png").string(), second, error)) << error;
  const auto log = dir.write("input.log", "earlier session\n");  // kept: the log is appended to
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--size", "640x480", "--source",
                          (dir.path() / "a.png").string(), (dir.path() / "b.png").string(), "--interval", "600",
                          "--input-log", log.string(), "--clipboard-text", "from the console"});
  ASSERT_NE(console.port(), 0);

  FakeViewer viewer(console.port());
  ASSERT_EQ(viewer.login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));
  auto clip = viewer.receive();
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->u16At(2), 12);
  const auto clipText = viewer.payload(*clip);
  EXPECT_EQ(std::string(clipText.begin(), clipText.end()), "from the console");
  EXPECT_TRUE(viewer.quietFor(300ms)) << "nothing before the acknowledgement and the depth";
  viewer.acknowledge();
  viewer.send(3, 0, 18, 32);

  auto format = viewer.receive();
  ASSERT_TRUE(format);
  EXPECT_EQ(format->type(), ConsoleMessage::kScreenFormat);
  EXPECT_EQ(format->u16At(2), kWidth);
  EXPECT_EQ(format->u16At(4), kHeight);
  EXPECT_EQ(format->u16At(6), 0);
  viewer.acknowledge();

  std::vector<std::uint16_t> screen(kWidth * kHeight, 0);
  auto whole = viewer.receive();
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->type(), ConsoleMessage::kScreenUpdate);
  EXPECT_EQ(whole->u16At(6) * whole->u16At(8), kWidth * kHeight);
  apply(screen, *whole, viewer.payload(*whole));
  EXPECT_EQ(screen, served565(first));

  // Well past the picture's change, nothing comes until the viewer has acknowledged.
  EXPECT_TRUE(viewer.quietFor(900ms));
  viewer.acknowledge();
  auto delta = viewer.receive();
  ASSERT_TRUE(delta);
  EXPECT_LT(delta->u16At(6) * delta->u16At(8), kWidth * kHeight);
  apply(screen, *delta, viewer.payload(*delta));
  EXPECT_EQ(screen, served565(second));

  viewer.send(1, 1, 0, 0xFF0D);
  viewer.send(2, 1, 10, 20);
  viewer.send(3, 0, 12, 6, "pasted");
  viewer.send(3, 0, 15, 0);
  const std::string text = waitForLogLine(log, "ctrl-alt-del");
  for (const char* line : {R"({"event":"login","user":"admin","address":"127.0.0.1"})",
                           R"({"event":"depth","bits":32})", R"({"event":"ack","count":3})",
                           R"({"event":"key","keysym":"0xff0d","down":true})",
                           R"({"event":"pointer","x":10,"y":20,"mask":1})",
                           R"({"event":"clipboard","text":"pasted","length":6})",
                           R"({"event":"request","name":"ctrl-alt-del"})"}) {
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << "\nin:\n" << text;
  }
  EXPECT_EQ(text.rfind("earlier session\n", 0), 0u) << text;
  // Ctrl+Alt+Del goes nowhere, but the administrator's log says who asked for it.
  std::string said;
  for (int i = 0; i < 5 && said.find("Ctrl+Alt+Del") == std::string::npos; ++i) said = console.readLine();
  EXPECT_NE(said.find(" viewer 'admin' from 127.0.0.1 pressed Ctrl+Alt+Del"), std::string::npos) << said;
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

// A clipboard text goes into the input log as its first bytes and its length, so that a viewer
// pasting in a loop cannot fill the disk; one longer than the limit ends the session.
TEST_F(ConsoleCommand, ClipboardTextsAreLoggedByTheirStartAndALongerOneEndsTheSession) {
  const auto log = dir.path() / "input.log";
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--input-log", log.string()});
  ASSERT_NE(console.port(), 0);
  FakeViewer viewer(console.port());
  ASSERT_EQ(viewer.login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));

  const std::string longest = "\xE9\n" + std::string(204798, 'x');
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(viewer.send(3, 0, 12, static_cast<std::uint32_t>(longest.size()), longest));
  const std::string logged = R"({"event":"clipboard","text":"\u00e9\u000a)" + std::string(62, 'x') + R"(","length":204800})";
  ASSERT_TRUE(viewer.send(3, 0, 12, 0));
  const std::string text = waitForLogLine(log, R"({"event":"clipboard","text":"","length":0})" "\n");
  EXPECT_NE(text.find(logged + "\n"), std::string::npos);
  EXPECT_LT(text.size(), 100u * 200u) << "twenty megabytes sent";

  // The console reads no further than the header: the viewer's send may fail half way.
  viewer.send(3, 0, 12, 204801, std::string(204801, 'y'));
  const std::string ended = waitForLogLine(log, R"({"event":"end"})");
  EXPECT_NE(ended.find(R"({"event":"refused","type":3,"length":204801})" "\n" R"({"event":"end"})"), std::string::npos)
      << ended.substr(ended.size() - std::min<std::size_t>(ended.size(), 300));
  EXPECT_EQ(FakeViewer(console.port()).login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

TEST_F(ConsoleCommand, RefusesWhileBusyAndEndsCleanlyOnSignal) {
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--size", "800x600"});
  ASSERT_NE(console.port(), 0);
  // A connection that says nothing holds only its own login, never the next viewer's.
  NetSocket silent;
  ASSERT_TRUE(silent.createTcp() && silent.connect("127.0.0.1", console.port(), 5000ms));
  EXPECT_EQ(FakeViewer(console.port()).login("admin", "wrong"), (std::vector<std::uint32_t>{107, 102}));

  FakeViewer viewer(console.port());
  ASSERT_EQ(viewer.login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));
  EXPECT_EQ(FakeViewer(console.port()).login("admin", "secret"), std::vector<std::uint32_t>{106});

  viewer.send(3, 0, 18, 8);
  auto format = viewer.receive();
  ASSERT_TRUE(format);
  EXPECT_EQ(format->u16At(2), 800);
  EXPECT_EQ(format->u16At(6), 1024);  // a colour table for an 8-bit viewer

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(console.stop(SIGINT), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
  auto goodbye = viewer.receive();
  ASSERT_TRUE(goodbye);
  EXPECT_EQ(goodbye->type(), ConsoleMessage::kControl);
  EXPECT_EQ(goodbye->u16At(2), 17);
}

// A viewer that logs in with a receive buffer of a few kilobytes, asks for the screen and then
// acknowledges every 50 ms without ever reading: its system soon takes nothing more off the
// link, and the console's messages pile up in its send queue.
class BlindAcknowledger {
 public:
  explicit BlindAcknowledger(std::uint16_t port) {
    for (const auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end && !loggedIn_;) {
      close();
      loggedIn_ = logIn(port);  // while the last session ends, the answer is 106
      if (!loggedIn_) std::this_thread::sleep_for(20ms);
    }
    if (loggedIn_) acknowledger_ = std::thread([this] {
      const std::uint8_t ack[] = {3, 0, 11, 0, 0, 0, 0, 0};
      while (!stop_ && ::send(socket_, ack, sizeof ack, MSG_NOSIGNAL) == sizeof ack) std::this_thread::sleep_for(50ms);
    });
  }
  ~BlindAcknowledger() {
    stop_ = true;
    if (acknowledger_.joinable()) acknowledger_.join();
    close();
  }
  bool loggedIn() const { return loggedIn_; }

 private:
  bool logIn(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<std::uint8_t> login = {108, 0, 0, 0};
    for (const auto& block : {scrambled("admin", 24), scrambled("secret", 264)}) login.insert(login.end(), block.begin(), block.end());
    const std::uint8_t depth[] = {3, 0, 18, 0, 32, 0, 0, 0};
    std::array<std::uint8_t, 4> word{};
    return ::connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
           ::recv(socket_, word.data(), 4, MSG_WAITALL) == 4 && loadU32le(word.data()) == 107 &&
           ::send(socket_, login.data(), login.size(), 0) == static_cast<ssize_t>(login.size()) &&
           ::recv(socket_, word.data(), 4, MSG_WAITALL) == 4 && loadU32le(word.data()) == 101 &&
           ::send(socket_, depth, sizeof depth, 0) == sizeof depth;
  }
  void close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
  }

  int socket_ = -1;
  bool loggedIn_ = false;
  std::atomic<bool> stop_{false};
  std::thread acknowledger_;
};

// A viewer that stops acknowledging (hung, or stopped), or acknowledges without reading, loses
// the session after the idle limit, and the next viewer gets in.
TEST_F(ConsoleCommand, AStalledViewerLosesTheSessionAfterTheIdleLimit) {
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--idle-limit", "1"});
  ASSERT_NE(console.port(), 0);
  enum class Stall { BeforeTheFormat, AfterTheFormat, AcknowledgingUnread };
  for (const Stall stall : {Stall::BeforeTheFormat, Stall::AfterTheFormat, Stall::AcknowledgingUnread}) {
    SCOPED_TRACE(static_cast<int>(stall));
    std::unique_ptr<FakeViewer> stalled;
    std::unique_ptr<BlindAcknowledger> blind;
    if (stall == Stall::AcknowledgingUnread) {
      blind = std::make_unique<BlindAcknowledger>(console.port());
      ASSERT_TRUE(blind->loggedIn());
    } else {
      auto [viewer, words] = loginWhenFree(console.port(), "admin", "secret");
      ASSERT_EQ(words, (std::vector<std::uint32_t>{107, 101}));
      viewer->send(3, 0, 18, 32);
      if (stall == Stall::AfterTheFormat) {  // and then nothing more
        ASSERT_TRUE(viewer->receive());
        viewer->acknowledge();
      }
      stalled = std::move(viewer);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loginWhenFree(console.port(), "admin", "secret", 4s).words, (std::vector<std::uint32_t>{107, 101}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
  }
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

TEST_F(ConsoleCommand, OptionsThatRefuseViewers) {
  const auto allow = dir.write("allow", "10.0.0.1;\n").string();
  // The last line counts without a line break; an empty list is a list that allows nobody.
  const auto unended = dir.write("unended", "10.0.0.1\n127.0.0.1").string();
  const auto commented = dir.write("commented", "# office\n  127.0.0.1\t# this machine\n").string();
  const auto empty = dir.write("empty", "").string();
  // Stopping a console that also answers probes ends both threads cleanly (a race once, under TSan).
  const std::string probePort = std::to_string(27000 + getpid() % 2000);
  struct Case { std::vector<std::string> options; std::vector<std::uint32_t> words; };
  for (const Case& c : std::vector<Case>{
           {{}, {110}},                                        // this machine, without --allow-local
           {{"--allow-local", "--allow-file", allow}, {104}},  // not in the list
           {{"--allow-local", "--allow-file", unended}, {107, 101}},
           {{"--allow-local", "--allow-file", commented}, {107, 101}},
           {{"--allow-local", "--allow-file", empty}, {104}},
           {{"--allow-local", "--refuse-all", "--probe", "--probe-port", probePort}, {105}},
       }) {
    auto options = c.options;
    options.insert(options.end(), {"--accounts", accounts.string()});
    ConsoleProcess console(options);
    ASSERT_NE(console.port(), 0);
    EXPECT_EQ(FakeViewer(console.port()).login("admin", "secret"), c.words);
    EXPECT_EQ(console.stop(SIGTERM), 0);
  }
}

// Each connection leaves one line: the time, the user (masked) when it got so far, the address,
// and what happened in words (for a refused login the real reason, which the viewer is not
// told); a lockout says until when.
TEST_F(ConsoleCommand, LogLinesSayWhenWhoFromWhereAndWhy) {
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string()});
  ASSERT_NE(console.port(), 0);
  const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)";
  const std::string from = " from 127\\.0\\.0\\.1: ";
  const std::string user = "refused viewer 'ad\\?\\[2Jmin'";
  // Each connection's line is read before the next connects: the console writes it after its
  // answer, and the lines of overlapping connections may come in either order.
  const struct {
    const char *user, *password;
    std::string line;
  } cases[] = {
      {"admin", "wrong", time + " refused viewer 'admin'" + from + "wrong password"},
      {"ad\x1b[2Jmin", "wrong", time + " " + user + from + "no such account"},
      {"ad\x1b[2Jmin", "wrong", time + " " + user + from + "no such account; third failed login .*; locked until " + time},
      {"admin", "secret", time + " refused a viewer" + from + "the client is locked .*; locked until " + time},
  };
  for (const auto& c : cases) {
    FakeViewer(console.port()).login(c.user, c.password);
    const std::string line = console.readLine();
    EXPECT_TRUE(std::regex_match(line, std::regex(c.line))) << line << "\n  does not match\n" << c.line;
  }
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace vantrel::cli
