// `vantrel snap` run as a program: against `vantrel console` it saves what was served, and
// its exit code tells a refusal, no connection, a time-out and an early end apart.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "console/area_scaler.h"
#include "console/frame_source.h"
#include "net/net_socket.h"
#include "png_image.h"
#include "protocol/byte_io.h"
#include "protocol/message_framing.h"
#include "server/screen_feed.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/hand_made_console.h"
#include "tool/tool_process.h"
#include "tool/x_painter.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

class SnapTest : public ::testing::Test {
 protected:
  void SetUp() override { addAccount(dir.path() / "accounts", "operator", "secret"); }

  // The arguments of a console on loopback that lets the test's account in.
  std::vector<std::string> consoleOptions(std::vector<std::string> options) const {
    options.insert(options.begin(), {"--allow-local", "--accounts", (dir.path() / "accounts").string()});
    return options;
  }

  // The password comes from a file unless `passwordOption` says otherwise ("" for none).
  std::string snapArguments(std::uint16_t port, const std::string& password = "secret",
                            std::string passwordOption = {}) {
    if (passwordOption.empty() && !password.empty()) {
      passwordOption = "--password-file '" + dir.write("password", password + "\n").string() + "'";
    }
    return "snap " + host + ":" + std::to_string(port) + " --user operator " + passwordOption + " --out '" +
           (dir.path() / "shot.png").string() + "'";
  }

  std::optional<RgbImage> shot() {
    std::string error;
    return loadPng((dir.path() / "shot.png").string(), error);
  }

  test::TempDir dir;
  std::string host = "127.0.0.1";  // as snap is given it
};

// A picture of the screen's size as it is; a larger one scaled to fit between black bars, or
// with --fit crop its top-left corner.
TEST_F(SnapTest, SavesThePictureTheConsoleServes) {
  const RgbImage screen = test::testPicture(1024, 768, 0), wide = test::testPicture(2048, 1152, 0);
  RgbImage letterboxed{1024, 768, std::vector<std::uint8_t>(1024 * 768 * 3)};
  AreaScaler({2048, 1152}, {1024, 576}).scale(wide.rgb.data(), 2048 * 3, &letterboxed.rgb[96 * 1024 * 3], 1024 * 3,
                                              {0, 0, 1024, 576});
  RgbImage cropped = letterboxed;
  for (std::size_t y = 0; y < 768; ++y) std::copy_n(&wide.rgb[y * 2048 * 3], 1024 * 3, &cropped.rgb[y * 1024 * 3]);

  struct Case { const RgbImage& served; const char* fit; const RgbImage& expected; };
  for (const Case& c : {Case{screen, "letterbox", screen}, Case{wide, "letterbox", letterboxed},
                        Case{wide, "crop", cropped}}) {
    std::string error;
    ASSERT_TRUE(savePng((dir.path() / "served.png").string(), c.served, error)) << error;
    ConsoleProcess console(consoleOptions({"--fit", c.fit, "--source", (dir.path() / "served.png").string()}));
    ASSERT_NE(console.port(), 0);
    const ToolRun run = runTool(dir, snapArguments(console.port()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto image = shot();
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelsOff(*image, c.expected), 0u) << c.served.width << " " << c.fit;
  }
}

// Two pictures in turn: every change is a set of exclusive-or deltas over the last, so after
// many of them the saved picture must still be exactly one of the two.
TEST_F(SnapTest, ManyDeltasLaterThePictureIsStillWhole) {
  std::array<RgbImage, 2> pictures;
  for (std::size_t k = 0; k < 2; ++k) {
    pictures[k] = {640, 480, std::vector<std::uint8_t>(640 * 480 * 3)};
    for (std::size_t i = 0; i < pictures[k].rgb.size(); ++i) {
      pictures[k].rgb[i] = static_cast<std::uint8_t>(k == 0 ? i * 13 : (i / 3) % 640 < 320 ? 0xF0 : 0x10);
    }
    std::string error;
    ASSERT_TRUE(savePng((dir.path() / (k == 0 ? "p0.png" : "p1.png")).string(), pictures[k], error)) << error;
  }
  ConsoleProcess console(consoleOptions({"--size", "640x480", "--interval", "30", "--source",
                                         (dir.path() / "p0.png").string(), (dir.path() / "p1.png").string()}));
  ASSERT_NE(console.port(), 0);
  const ToolRun run = runTool(dir, snapArguments(console.port()) + " --frames 15");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto image = shot();
  ASSERT_TRUE(image);
  const std::array<std::size_t, 2> off{pixelsOff(*image, pictures[0]), pixelsOff(*image, pictures[1])};
  EXPECT_TRUE(off[0] == 0 || off[1] == 0) << off[0] << " and " << off[1] << " pixels off";
}

TEST_F(SnapTest, SavesTheDemoDesktop) {
  ConsoleProcess console(consoleOptions({"--source", "demo", "--size", "800x600"}));
  ASSERT_NE(console.port(), 0);
  // The password from the environment, which no process list shows.
  const ToolRun run = runTool(dir, snapArguments(console.port(), "") + " --frames 3", "VANTREL_PASSWORD=secret");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto image = shot();
  ASSERT_TRUE(image);
  // The desktop moves (a clock, a window, typing), and how far it has moved by the third update
  // depends on the machine's speed (a sanitizer build is slow), so compare with its first
  // picture loosely: a wrong or empty picture differs almost everywhere.
  const auto demo = makeDemoSource(800, 600);
  const RgbImage& first = demo->frameAt(0ms).picture;
  EXPECT_LT(pixelsOff(*image, first), 800u * 600u / 4u);
}

TEST_F(SnapTest, ExitCodesTellTheFailuresApart) {
  ConsoleProcess console(consoleOptions({"--source", "demo"}));
  ASSERT_NE(console.port(), 0);
  // The still accepted --password; what the console meant by the word first, then the refusal
  // in the catalogue's words, which read several words as a mere failure.
  ToolRun run = runTool(dir, snapArguments(console.port(), "", "--password wrong"));
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_EQ(run.err,
            "vantrel snap: the console refused the login: wrong user name or password, or not an enabled admin account "
            "(status 102)\nrefused: Logon failed. (LoginFailed)\n");

  // A name that cannot be resolved is not a console that cannot be reached (this one is refused
  // by the resolver itself, without asking a name server).
  run = runTool(dir, "snap bad..host --user operator --password x --out '" + (dir.path() / "x.png").string() + "'");
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_TRUE(run.err.ends_with("\nvantrel snap: cannot resolve 'bad..host'\n")) << run.err;

  // Nothing listens on a port just released.
  std::uint16_t closed = 0;
  {
    NetSocket probe;
    probe.createTcp();
    probe.bind(0, true);
    closed = probe.localPort().value_or(0);
  }
  run = runTool(dir, snapArguments(closed));
  EXPECT_EQ(run.exitCode, 3) << run.err;

  {
    HandMadeConsole silent(HandMadeConsole::Then::StaySilent);
    const auto begin = std::chrono::steady_clock::now();
    run = runTool(dir, snapArguments(silent.port()) + " --timeout 1");
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
  }
  {
    HandMadeConsole ending(HandMadeConsole::Then::LogInAndEndTheSession);
    run = runTool(dir, snapArguments(ending.port()));
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_NE(run.err.find("message: The console server closed the session. Click OK to return to the logon page. "
                           "(ServerCutConnect)\n"),
              std::string::npos)
        << run.err;
  }
  {
    HandMadeConsole closing(HandMadeConsole::Then::LogInAndClose);
    const auto begin = std::chrono::steady_clock::now();
    run = runTool(dir, snapArguments(closing.port()) + " --timeout 10");
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
  }
  {
    // A catalogue given on the command line has the last word.
    dir.write("consoleclient.ini", "[MESSAGEBOX]\nServerCutConnect_en=Session over.\\nBye.\n");
    HandMadeConsole ending(HandMadeConsole::Then::LogInAndEndTheSession);
    run = runTool(dir, snapArguments(ending.port()) + " --catalog '" + dir.path().string() + "'");
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_NE(run.err.find("message: Session over. Bye. (ServerCutConnect)\n"), std::string::npos) << run.err;
  }

  EXPECT_EQ(runTool(dir, snapArguments(console.port(), "") + " --timeout 5").exitCode, 1) << "no password given";
  EXPECT_EQ(runTool(dir, snapArguments(console.port()) + " --catalog /nonexistent").exitCode, 1);
}

// A password file others may read draws a warning; an empty answer at the prompt is refused
// before anything is sent (the console would count it as a failed login).
TEST_F(SnapTest, PasswordsStaySecretAndAnEmptyOneIsNotSent) {
  ConsoleProcess console(consoleOptions({"--source", "demo"}));
  ASSERT_NE(console.port(), 0);
  const std::string arguments = snapArguments(console.port());
  for (const auto mode : {std::filesystem::perms::owner_read | std::filesystem::perms::group_read,
                          std::filesystem::perms::owner_read}) {
    std::filesystem::permissions(dir.path() / "password", mode);
    const ToolRun run = runTool(dir, arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const bool othersMayRead = (mode & std::filesystem::perms::group_read) != std::filesystem::perms::none;
    EXPECT_EQ(run.err.find("warning: others than its owner may read the password file '" +
                           (dir.path() / "password").string() + "' (mode 0440): chmod 600 it\n") != std::string::npos,
              othersMayRead)
        << run.err;
  }

  std::uint16_t closed = 0;  // a connection attempt would end in exit code 3
  {
    NetSocket probe;
    probe.createTcp();
    probe.bind(0, true);
    closed = probe.localPort().value_or(0);
  }
  const TerminalRun run = runOnTerminal({"snap", "127.0.0.1:" + std::to_string(closed), "--user", "operator",
                                         "--out", (dir.path() / "shot.png").string()},
                                        {""});
  EXPECT_EQ(run.exitCode, 1) << run.screen;
  EXPECT_NE(run.screen.find("an empty password is not sent"), std::string::npos) << run.screen;
}

// A console on ::1 is reached at [::1]:PORT; one on :: serves both families.
TEST_F(SnapTest, ReachesAConsoleOverIpv6) {
  if (NetSocket probe; !probe.createTcp6BoundTo("::1", 0)) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  struct Case { const char* listen; const char* target; const char* listening; };
  for (const Case& c : {Case{"::1", "[::1]", "listening on [::1]:"}, Case{"::", "[::1]", "listening on [::]:"},
                        Case{"::", "127.0.0.1", "listening on [::]:"}}) {
    SCOPED_TRACE(std::string(c.listen) + " " + c.target);
    ConsoleProcess console(consoleOptions({"--source", "demo"}), {}, 0, c.listen);
    ASSERT_NE(console.port(), 0);
    EXPECT_NE(console.firstLine().find(c.listening), std::string::npos) << console.firstLine();
    host = c.target;
    const ToolRun run = runTool(dir, snapArguments(console.port()));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(shot());
  }
  // Nothing listens on a port just released: the message names the address as it is written.
  std::uint16_t closed = 0;
  {
    NetSocket probe;
    probe.createTcp6BoundTo("::1", 0);
    closed = probe.localPort().value_or(0);
  }
  host = "[::1]";
  const ToolRun run = runTool(dir, snapArguments(closed));
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_NE(run.err.find("no connection to [::1] port " + std::to_string(closed)), std::string::npos) << run.err;
}

// A session that ends after a whole screen but before the updates asked for: the screen is
// still saved, and the exit code says that less arrived than asked for.
TEST_F(SnapTest, SavesTheLastScreenOfASessionThatEndsEarly) {
  HandMadeConsole ending(HandMadeConsole::Then::ServeAScreenAndEnd);
  const ToolRun run = runTool(dir, snapArguments(ending.port()) + " --frames 5");
  EXPECT_EQ(run.exitCode, 5) << run.err;
  EXPECT_NE(run.err.find("the session ended after 0 of the 5 further updates"), std::string::npos) << run.err;
  const auto image = shot();
  ASSERT_TRUE(image) << run.err;
  EXPECT_EQ(pixelsOff(*image, HandMadeConsole::kScreen), 0u);
}

// Where the picture cannot be saved, snap says so before it logs in: a silent console would
// otherwise hold it for the whole time-out first.
TEST_F(SnapTest, ChecksTheOutputBeforeLoggingIn) {
  HandMadeConsole silent(HandMadeConsole::Then::StaySilent);
  const auto begin = std::chrono::steady_clock::now();
  const ToolRun run = runTool(dir, "snap 127.0.0.1:" + std::to_string(silent.port()) +
                                       " --user operator --password x --timeout 5 --out '" +
                                       (dir.path() / "missing" / "shot.png").string() + "'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("cannot write in"), std::string::npos) << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

}  // namespace
}  // namespace vantrel::cli
