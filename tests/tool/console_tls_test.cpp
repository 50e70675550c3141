// `vantrel console --tls` and `vantrel snap` as programs: the same picture over TLS as beside it
// in the clear, each way of trusting a console and each refusal in its words, and a relay that
// records a session: nothing of the credentials shows in it, and played again it logs nobody in.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "commands.h"
#include "net/net_socket.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/tool_process.h"
#include "tool/x_painter.h"

namespace vantrel::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The TLS key a console prints at start.
std::string keyIn(const std::string& line) {
  std::smatch found;
  return std::regex_search(line, found, std::regex("SHA256:[A-Za-z0-9+/]{43}")) ? found.str() : "";
}

class ConsoleTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    addAccount(dir.path() / "accounts", "operator", "secret");
    std::string error;
    ASSERT_TRUE(savePng((dir.path() / "served.png").string(), test::testPicture(1024, 768, 1), error)) << error;
    console = std::make_unique<ConsoleProcess>(std::vector<std::string>{
        "--allow-local", "--accounts", (dir.path() / "accounts").string(), "--source",
        (dir.path() / "served.png").string(), "--tls", "--state-dir", (dir.path() / "state").string(),
        "--clear-port", "0"});
    port = console->port();
    ASSERT_NE(port, 0);
    clearPort = static_cast<std::uint16_t>(std::stoi(std::regex_replace(
        console->readLine(), std::regex(".*without TLS are served on 127\\.0\\.0\\.1:([0-9]+) too"), "$1")));
    key = keyIn(console->readLine());
    ASSERT_FALSE(key.empty());
  }

  std::vector<std::string> snapArguments(std::uint16_t to, const std::string& out = "shot.png") {
    return {"snap", "127.0.0.1:" + std::to_string(to), "--user", "operator", "--password-file",
            dir.write("password", "secret\n").string(), "--out", (dir.path() / out).string()};
  }
  ToolRun snap(std::uint16_t to, const std::string& options, const std::string& out = "shot.png") {
    std::string line;
    for (const auto& a : snapArguments(to, out)) line += (a == "snap" ? "" : " '") + a + (a == "snap" ? "" : "'");
    return runTool(dir, line + " " + options);
  }
  // The console's next log line that is not about a session ending.
  std::string nextLogin() {
    for (std::string line = console->readLine();; line = console->readLine()) {
      if (line.find("the session has ended") == std::string::npos) return line;
    }
  }

  test::TempDir dir;
  std::unique_ptr<ConsoleProcess> console;
  std::uint16_t port = 0, clearPort = 0;
  std::string key;
};

TEST_F(ConsoleTlsTest, TheSamePictureComesOverTlsAsBesideItInTheClear) {
  ToolRun run = snap(clearPort, "", "clear.png");
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_NE(nextLogin().find("logged in from 127.0.0.1"), std::string::npos);
  run = snap(port, "--tls-fingerprint " + key, "tls.png");
  ASSERT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_NE(nextLogin().find("logged in from 127.0.0.1 over TLS"), std::string::npos);
  EXPECT_EQ(dir.read("tls.png"), dir.read("clear.png"));
  EXPECT_EQ(run.err, "");
}

TEST_F(ConsoleTlsTest, ANewConsoleIsTrustedOnlyWhenTheUserSaysSoAndCheckedEveryTimeAfter) {
  const std::string known = (dir.path() / "known").string();
  const std::string entry = "127.0.0.1:" + std::to_string(port) + " " + key + "\n";
  // No one at a terminal to ask, or a user who says no: refused, nothing written.
  ToolRun run = snap(port, "--tls --known-consoles '" + known + "'");
  EXPECT_EQ(run.exitCode, kExitUntrusted) << run.err;
  EXPECT_NE(run.err.find("is not known yet; its key is " + key), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("--accept-new"), std::string::npos) << run.err;
  auto args = snapArguments(port);
  args.insert(args.end(), {"--tls", "--known-consoles", known});
  TerminalRun asked = runOnTerminal(args, {"no"});
  EXPECT_EQ(asked.exitCode, kExitUntrusted) << asked.screen;
  EXPECT_FALSE(std::filesystem::exists(known));

  asked = runOnTerminal(args, {"yes"});
  EXPECT_EQ(asked.exitCode, kExitOk) << asked.screen;
  EXPECT_NE(asked.screen.find(key), std::string::npos) << asked.screen;
  EXPECT_EQ(dir.read("known"), entry);
  run = snap(port, "--tls --known-consoles '" + known + "'");
  EXPECT_EQ(run.exitCode, kExitOk) << run.err;
  EXPECT_EQ(dir.read("known"), entry);  // known: not written again

  const std::string accepted = (dir.path() / "accepted").string();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(snap(port, "--accept-new --known-consoles '" + accepted + "'").exitCode, 0);
  EXPECT_EQ(dir.read("accepted"), entry);
}

TEST_F(ConsoleTlsTest, AChangedOrWrongKeyIsRefusedWithWhatToDo) {
  const std::string other = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";
  const auto changed = dir.write("changed", "127.0.0.1:" + std::to_string(port) + " " + other + "\n");
  struct Row { std::string options; std::vector<std::string> says; };
  for (const Row& row : std::vector<Row>{
           {"--known-consoles '" + changed.string() + "'",
            {"has changed", "known: " + other, "shown: " + key, "delete line 1 of " + changed.string()}},
           {"--tls-fingerprint " + other, {"shows the key " + key + ", not the one given with --tls-fingerprint"}},
       }) {
    const ToolRun run = snap(port, row.options);
    EXPECT_EQ(run.exitCode, kExitUntrusted) << run.err;
    for (const auto& text : row.says) EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
  }
  EXPECT_EQ(dir.read("changed"), "127.0.0.1:" + std::to_string(port) + " " + other + "\n");
}

// Between snap and the console, a relay that records what each side sends.
class RecordingRelay {
 public:
  explicit RecordingRelay(std::uint16_t to) {
    listener_.createTcp();
    listener_.bind(0, true);
    listener_.listen();
    thread_ = std::thread([this, to] {
      std::unique_ptr<NetSocket> viewer = listener_.accept(std::chrono::seconds(10));
      NetSocket console;
      if (!viewer || !console.createTcp() || !console.connect("127.0.0.1", to, std::chrono::seconds(2))) return;
      std::thread back([&] { pump(console, *viewer, nullptr); });
      pump(*viewer, console, &fromViewer_);
      back.join();
    });
  }
  ~RecordingRelay() {
    if (thread_.joinable()) thread_.join();
  }
  std::uint16_t port() const { return listener_.localPort().value_or(0); }
  // Each piece the viewer sent, as it came; once the session is over.
  const std::vector<Bytes>& fromViewer() {
    thread_.join();
    return fromViewer_;
  }

 private:
  static void pump(NetSocket& from, NetSocket& to, std::vector<Bytes>* record) {
    Bytes buffer(65536);
    for (std::ptrdiff_t got; (got = from.receive(buffer)) > 0;) {
      if (record) record->emplace_back(buffer.begin(), buffer.begin() + got);
      if (!to.sendExact(std::span(buffer).first(static_cast<std::size_t>(got)))) break;
    }
    to.shutdownBoth();
    from.shutdownBoth();
  }
  NetSocket listener_;
  std::vector<Bytes> fromViewer_;
  std::thread thread_;
};

bool contains(const std::vector<Bytes>& pieces, const Bytes& wanted) {
  Bytes all;
  for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return std::search(all.begin(), all.end(), wanted.begin(), wanted.end()) != all.end();
}

// In the clear the enciphered credentials are there to take and to send again; inside TLS
// neither.
TEST_F(ConsoleTlsTest, ARecordedSessionHoldsNoCredentialsAndPlayedAgainLogsNobodyIn) {
  struct Row { const char* name; std::uint16_t console; std::string options; bool exposed; const char* replayed; };
  for (const Row& row : {Row{"clear", clearPort, "", true, "viewer 'operator' logged in"},
                         Row{"TLS", port, "--tls-fingerprint " + key, false, "no TLS session"}}) {
    SCOPED_TRACE(row.name);
    RecordingRelay relay(row.console);
    const ToolRun run = snap(relay.port(), row.options);
    ASSERT_EQ(run.exitCode, kExitOk) << run.err;
    ASSERT_NE(nextLogin().find("logged in"), std::string::npos);
    const auto& recorded = relay.fromViewer();
    EXPECT_EQ(contains(recorded, scrambled("operator", 24)), row.exposed);
    EXPECT_EQ(contains(recorded, scrambled("secret", 264)), row.exposed);

    NetSocket replay;
    ASSERT_TRUE(replay.createTcp() && replay.connect("127.0.0.1", row.console, std::chrono::seconds(2)));
    replay.setTimeouts(1000);  // a console that logged the replay in is quiet once its acknowledgements run out
    for (const auto& piece : recorded) replay.sendExact(piece);
    Bytes answer(4096);
    while (replay.receive(answer) > 0) {
    }
    const std::string line = nextLogin();
    EXPECT_NE(line.find(row.replayed), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace vantrel::cli
