// `vantrel view` in an X server of the test's own, through SDL's X11 driver, against
// `vantrel console` on loopback: the window's pixels read back through the X server, keys typed
// through XTEST under a German keymap, clicks at the corners of a scaled window, the clipboard
// both ways, and a console killed and started again. The console's input log shows what came.
// Then how a session ends: each way has its exit code, and nothing is left behind (the
// sanitizer build checks for leaks at the exit).
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "commands.h"
#include "png_image.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/hand_made_console.h"
#include "tool/tool_process.h"
#include "tool/x_desktop.h"
#include "tool/xvfb.h"
#include "viewer/sdl/window_text.h"

namespace vantrel::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Given to the console as a terminal gives it (UTF-8); on the wire as Latin-1.
constexpr const char* kConsoleText = "from the console: caf\xC3\xA9";

// The viewer's environment: SDL on the test's X server, the password, and for the sanitizer
// builds what is not ours: libdbus keeps a block after SDL closes its connection (what hangs off
// it is reported as indirect leaks, so a leak of ours shows as a direct one), and Mesa's software
// GL driver runs threads of its own that the thread sanitizer cannot see into.
std::vector<std::string> viewerEnvironment(const test::TempDir& dir, const std::string& display) {
  const auto leaks = dir.write("lsan-suppressions", "leak:libdbus-1.so\n");
  const auto races = dir.write("tsan-suppressions", "race:swrast_dri.so\n");
  return {"DISPLAY=" + display, "SDL_VIDEODRIVER=x11", "VANTREL_PASSWORD=secret",
          "LSAN_OPTIONS=exitcode=0:suppressions=" + leaks.string(), "TSAN_OPTIONS=suppressions=" + races.string()};
}

// A direct leak of ours: one whose allocation stack names a function. Mesa's GL driver, which
// SDL loads and unloads again, leaves blocks whose stacks point only into the unloaded module
// ("<unknown module>"), and no suppression can name a module that is gone.
bool leaked(const std::string& output) {
  for (std::size_t at = output.find("Direct leak"); at != std::string::npos;
       at = output.find("Direct leak", at + 1)) {
    const std::size_t end = output.find("\n\n", at);
    std::istringstream stack(output.substr(at, end == std::string::npos ? std::string::npos : end - at));
    std::string frame;
    std::getline(stack, frame);  // the "Direct leak of ..." line
    std::getline(stack, frame);  // #0: the sanitizer's own allocator
    while (std::getline(stack, frame)) {
      if (frame.find(" in ") != std::string::npos) return true;
    }
  }
  return false;
}

// Waits until `ready` holds, at most `within`.
bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds within = 10s) {
  for (const auto end = Clock::now() + within; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
    if (ready()) return true;
  }
  return ready();
}

// A colour the console's RGB565 carries through exactly: 5 and 6 bits widened by repeating
// their high bits, as the viewer widens them.
std::uint8_t widen5(unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }
std::uint8_t widen6(unsigned v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); }

RgbImage servedPicture() {
  RgbImage image{1024, 768, std::vector<std::uint8_t>(1024 * 768 * 3)};
  for (unsigned y = 0; y < 768; ++y) {
    for (unsigned x = 0; x < 1024; ++x) {
      const std::size_t i = (std::size_t{y} * 1024 + x) * 3;
      image.rgb[i] = widen5(x % 32);
      image.rgb[i + 1] = widen6(y % 64);
      image.rgb[i + 2] = widen5((x / 32 + y / 64 * 3) % 32);
    }
  }
  return image;
}

struct KeyLine {
  std::uint32_t keysym;
  bool down;
  friend bool operator==(const KeyLine&, const KeyLine&) = default;
};

std::ostream& operator<<(std::ostream& out, const KeyLine& k) {
  return out << std::hex << "0x" << k.keysym << (k.down ? " down" : " up") << std::dec;
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running());
    ASSERT_EQ(server.run("setxkbmap de"), 0);
    addAccount(dir.path() / "accounts", "operator", "secret");
    std::string error;
    ASSERT_TRUE(savePng((dir.path() / "served.png").string(), picture, error)) << error;
    startConsole(0);
    ASSERT_NE(port, 0);
    std::vector<std::string> args = {"view", "127.0.0.1:" + std::to_string(port), "--user", "operator", "--reconnect",
                                     "20"};
    if (!tlsKey.empty()) args.insert(args.end(), {"--tls-fingerprint", tlsKey});
    const auto more = extraOptions();
    args.insert(args.end(), more.begin(), more.end());
    viewer = std::make_unique<ToolProcess>(args, viewerEnvironment(dir, server.name()), dir.path() / "viewer.out");
    ASSERT_TRUE(desktop.ok());
    ASSERT_TRUE(waitFor([&] { return (window = desktop.findWindow(title())).has_value(); }));
    ASSERT_TRUE(waitFor([&] { return showsThePicture(); })) << "the window shows the served screen";
    keepShot("served");
  }
  virtual std::vector<std::string> extraOptions() const { return {}; }

  // Every session ends as a closed window does: exit code 0, nothing leaked.
  void TearDown() override {
    if (!viewer) return;
    EXPECT_EQ(viewer->stop(SIGTERM), kExitOk);
    const std::string output = dir.read("viewer.out");
    EXPECT_FALSE(leaked(output)) << output;
  }

  std::string title() const { return "Vantrel - 127.0.0.1:" + std::to_string(port); }

  // A console on `wanted` (0: any free port), with its own input log; with `tls` its key is kept
  // in the test's folder, and printed as `tlsKey`.
  void startConsole(std::uint16_t wanted) {
    log = dir.path() / ("input" + std::to_string(++consoles) + ".log");
    std::vector<std::string> args = {"--allow-local", "--accounts", (dir.path() / "accounts").string(), "--source",
                                     (dir.path() / "served.png").string(), "--input-log", log.string(),
                                     "--clipboard-text", kConsoleText};
    if (tls) args.insert(args.end(), {"--tls", "--state-dir", (dir.path() / "state").string()});
    console = std::make_unique<ConsoleProcess>(args, std::vector<std::string>{}, wanted);
    port = console->port();
    if (tls) tlsKey = std::regex_replace(console->readLine(), std::regex(".*TLS key (SHA256:[^ ]+) .*"), "$1");
  }

  // The console goes away without a word and comes back on the same port: the viewer shows the
  // last picture dimmed meanwhile, and then the screen again.
  void expectReconnectedAfterARestart() {
    const std::uint16_t first = port;
    const std::string firstKey = tlsKey;
    console->stop(SIGKILL);
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(window = desktop.findWindow(title() + " (reconnecting)"));
    // The last picture stays, dimmed under the word.
    waitFor([&] { return pixelsOff() > picture.rgb.size() / 6; }, 2s);
    keepShot("reconnecting");
    ASSERT_EQ(shot.rgb.size(), picture.rgb.size());
    for (const std::size_t i : {std::size_t{0}, std::size_t{(767 * 1024 + 1023) * 3}}) {
      for (std::size_t c = i; c < i + 3; ++c) EXPECT_NEAR(shot.rgb[c], picture.rgb[c] / 2, 2) << c;
    }
    const auto restarted = Clock::now();
    startConsole(first);
    ASSERT_EQ(port, first);
    EXPECT_EQ(tlsKey, firstKey);
    EXPECT_TRUE(waitFor([&] { return logHas(R"("event":"login")"); }, 8s));
    // The pauses between attempts grow to four seconds at most.
    EXPECT_LT(Clock::now() - restarted, 6s);
    EXPECT_TRUE(waitFor([&] { return !desktop.findWindow(title() + " (reconnecting)"); }));
    EXPECT_TRUE(waitFor([&] { return pixelsOff() == 0; }));
  }

  std::vector<KeyLine> keyLines() {
    std::vector<KeyLine> lines;
    const std::regex key(R"re("event":"key","keysym":"0x([0-9a-f]+)","down":(true|false))re");
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (std::regex_search(line, m, key))
        lines.push_back({static_cast<std::uint32_t>(std::stoul(m[1], nullptr, 16)), m[2] == "true"});
    }
    return lines;
  }
  // VANTREL_VIEW_SHOTS=DIR keeps the screenshots for a look.
  void keepShot(const std::string& name) {
    std::string error;
    if (const char* keep = std::getenv("VANTREL_VIEW_SHOTS"))
      savePng(std::string(keep) + "/" + name + ".png", shot, error);
  }
  bool logHas(const std::string& text) { return dir.read(log.filename()).find(text) != std::string::npos; }

  // Whether the window shows the served picture: pixel for pixel at its size, or scaled to fit
  // between black bars, within the blur of the scaling (a blank, shifted or torn picture is not).
  bool showsThePicture() {
    shot = desktop.screenshot(*window);
    if (shot.width == picture.width && shot.height == picture.height) return pixelsOff() == 0;
    const double scale = std::min(double(shot.width) / picture.width, double(shot.height) / picture.height);
    const int width = int(picture.width * scale), height = int(picture.height * scale);
    const int left = (shot.width - width) / 2, top = (shot.height - height) / 2;
    std::size_t off = 0;
    for (int y = 0; y < shot.height; ++y) {
      for (int x = 0; x < shot.width; ++x) {
        const std::uint8_t* shown = &shot.rgb[(std::size_t(y) * std::size_t(shot.width) + std::size_t(x)) * 3];
        const bool inside = x >= left && x < left + width && y >= top && y < top + height;
        const int sx = std::min(picture.width - 1, int((x - left) / scale));
        const int sy = std::min(picture.height - 1, int((y - top) / scale));
        const std::uint8_t black[3] = {0, 0, 0};
        const std::uint8_t* wanted =
            inside ? &picture.rgb[(std::size_t(sy) * std::size_t(picture.width) + std::size_t(sx)) * 3] : black;
        for (int c = 0; c < 3; ++c) off += std::abs(shown[c] - wanted[c]) > 24 ? 1 : 0;
      }
    }
    return off < shot.rgb.size() / 20;  // the wrap of the picture's gradients blurs
  }

  // Mismatched pixels between the window and the served picture.
  std::size_t pixelsOff() {
    shot = desktop.screenshot(*window);
    if (shot.width != picture.width || shot.height != picture.height) return picture.rgb.size();
    std::size_t off = 0;
    for (std::size_t i = 0; i < shot.rgb.size(); i += 3) {
      off += std::equal(&shot.rgb[i], &shot.rgb[i] + 3, &picture.rgb[i]) ? 0u : 1u;
    }
    return off;
  }

  test::Xvfb server{1280, 1024};
  test::TempDir dir;
  test::XDesktop desktop{server.name()};
  RgbImage picture = servedPicture();
  RgbImage shot;
  std::unique_ptr<ConsoleProcess> console;
  std::unique_ptr<ToolProcess> viewer;
  std::filesystem::path log;
  int consoles = 0;
  bool tls = false;
  std::string tlsKey;
  std::uint16_t port = 0;
  std::optional<test::XWindow> window;
};

TEST_F(ViewTest, KeysArriveAsTheDesktopTypedThem) {
  desktop.focus(*window);
  std::this_thread::sleep_for(200ms);
  constexpr std::uint32_t kShiftL = 0xFFE1, kControlL = 0xFFE3, kAltR = 0xFFEA;
  struct Case {
    const char* what;
    std::vector<std::pair<unsigned long, bool>> typed;
    std::vector<KeyLine> sent;
  };
  const std::vector<Case> cases = {
      {"Shift+a",
       {{XK_Shift_L, true}, {XK_a, true}, {XK_a, false}, {XK_Shift_L, false}},
       {{kShiftL, true}, {'A', true}, {'A', false}, {kShiftL, false}}},
      {"a letter of the German keymap", {{XK_odiaeresis, true}, {XK_odiaeresis, false}}, {{0xF6, true}, {0xF6, false}}},
      {"AltGr+q",
       {{XK_ISO_Level3_Shift, true}, {XK_q, true}, {XK_q, false}, {XK_ISO_Level3_Shift, false}},
       {{kAltR, true},
        {kAltR, false},
        {'@', true},
        {kAltR, true},
        {kAltR, false},
        {'@', false},
        {kAltR, true},
        {kAltR, false}}},
      {"dead acute, then e",
       {{XK_dead_acute, true}, {XK_dead_acute, false}, {XK_e, true}, {XK_e, false}},
       {{0xE9, true}, {0xE9, false}}},
      {"F1 and F12",
       {{XK_F1, true}, {XK_F1, false}, {XK_F12, true}, {XK_F12, false}},
       {{0xFFBE, true}, {0xFFBE, false}, {0xFFC9, true}, {0xFFC9, false}}},
      {"Ctrl+c",
       {{XK_Control_L, true}, {XK_c, true}, {XK_c, false}, {XK_Control_L, false}},
       {{kControlL, true}, {'c', true}, {'c', false}, {kControlL, false}}},
  };
  for (const Case& c : cases) {
    const std::size_t before = keyLines().size();
    desktop.keys(c.typed);
    waitFor([&] { return keyLines().size() >= before + c.sent.size(); }, 5s);
    std::this_thread::sleep_for(50ms);  // nothing more comes
    const auto lines = keyLines();
    EXPECT_EQ(std::vector<KeyLine>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()), c.sent) << c.what;
  }

  // Whatever was pressed on the console has been released again.
  std::map<std::uint32_t, int> held;
  for (const KeyLine& k : keyLines()) held[k.keysym] += k.down ? 1 : -1;
  for (const auto& [keysym, count] : held) EXPECT_LE(count, 0) << std::hex << keysym;
}

TEST_F(ViewTest, ClicksAtTheCornersOfAScaledWindowReachTheRemoteCorners) {
  desktop.resize(*window, 800, 600);
  ASSERT_TRUE(waitFor([&] { return desktop.size(*window) == std::pair{800, 600}; }));
  std::this_thread::sleep_for(300ms);
  const auto [x, y] = desktop.origin(*window);
  const std::vector<std::tuple<int, int, unsigned, std::string>> clicks = {
      {0, 0, 1, R"("x":0,"y":0,"mask":1)"},         {799, 0, 1, R"("x":1023,"y":0,"mask":1)"},
      {0, 599, 3, R"("x":0,"y":767,"mask":4)"},     {799, 599, 1, R"("x":1023,"y":767,"mask":1)"},
      {400, 300, 1, R"("x":512,"y":384,"mask":1)"},
  };
  for (const auto& [cx, cy, button, expected] : clicks) {
    desktop.click(x + cx, y + cy, button);
    EXPECT_TRUE(waitFor([&] { return logHas(expected); }, 3s)) << expected;
  }
}

TEST_F(ViewTest, TheClipboardGoesBothWaysAndTheConsolesTextIsNotSentBack) {
  std::optional<std::string> local;
  EXPECT_TRUE(waitFor([&] { return (local = desktop.clipboard()) == kConsoleText; }));
  EXPECT_EQ(local, kConsoleText);

  // UTF-8 on the desktop, Latin-1 without CRs on the wire.
  const std::string sent = R"("event":"clipboard","text":"Gr\u00fc\u00dfe\u000azwei")";
  EXPECT_TRUE(desktop.offerClipboard("Grüße\r\nzwei", [&] { return logHas(sent); }));
  EXPECT_FALSE(logHas(R"("event":"clipboard","text":"from the console)"));
  EXPECT_EQ(dir.read("viewer.out").find("Latin-1"), std::string::npos);

  // What Latin-1 lacks goes as '?', and the viewer says so, once.
  EXPECT_TRUE(desktop.offerClipboard("łódź", [&] { return logHas(R"("text":"?\u00f3d?")"); }));
  EXPECT_TRUE(desktop.offerClipboard("Łódź 2", [&] { return logHas(R"("text":"?\u00f3d? 2")"); }));
  const std::string said = dir.read("viewer.out");
  EXPECT_NE(said.find("vantrel view: the console takes Latin-1 text only"), std::string::npos) << said;
  EXPECT_EQ(said.find("Latin-1"), said.rfind("Latin-1")) << said;
}

TEST_F(ViewTest, AConsoleKilledAndStartedAgainIsReconnected) { expectReconnectedAfterARestart(); }

// The same inside TLS: the screen in SetUp, and after the restart the console's kept key is
// checked against the pin again.
class ViewOverTlsTest : public ViewTest {
 protected:
  ViewOverTlsTest() { tls = true; }
};

TEST_F(ViewOverTlsTest, AConsoleStartedAgainWithItsKeptKeyIsReconnected) { expectReconnectedAfterARestart(); }

// On an X server without a window manager, as a kiosk runs: the full-screen key makes the window
// the whole screen with the picture scaled into it, and gives the window back.
TEST_F(ViewTest, FullScreenFillsABareXServerAndComesBack) {
  desktop.focus(*window);
  desktop.keys({{XK_F11, true}, {XK_F11, false}});
  EXPECT_TRUE(waitFor([&] { return desktop.origin(*window) == std::pair{0, 0} && desktop.size(*window) == std::pair{1280, 1024}; }));
  EXPECT_TRUE(waitFor([&] { return showsThePicture() && shot.width == 1280; }));
  keepShot("full-screen");
  desktop.keys({{XK_F11, true}, {XK_F11, false}});
  EXPECT_TRUE(waitFor([&] { return desktop.size(*window) == std::pair{1024, 768} && pixelsOff() == 0; }));
}

// Full screen from the start, on the bare server; the key menu, drawn over the picture, takes the
// keyboard: Escape closes it, arrows and Return send what it offers.
class FullScreenView : public ViewTest {
 protected:
  std::vector<std::string> extraOptions() const override { return {"--full-screen"}; }
};

TEST_F(FullScreenView, TheKeyMenuTakesTheKeyboard) {
  EXPECT_EQ(desktop.origin(*window), (std::pair{0, 0}));
  EXPECT_EQ(desktop.size(*window), (std::pair{1280, 1024}));
  desktop.focus(*window);
  desktop.keys({{XK_F8, true}, {XK_F8, false}});
  EXPECT_TRUE(waitFor([&] { return !showsThePicture(); })) << "no menu over the picture";
  keepShot("key-menu");
  desktop.keys({{XK_Escape, true}, {XK_Escape, false}});
  EXPECT_TRUE(waitFor([&] { return showsThePicture(); })) << "Escape left the menu up";
  EXPECT_FALSE(logHas("0xff1b")) << "Escape went to the console";

  desktop.keys({{XK_F8, true}, {XK_F8, false}, {XK_Down, true}, {XK_Down, false}, {XK_Return, true}, {XK_Return, false}});
  EXPECT_TRUE(waitFor([&] { return logHas(R"("event":"request","name":"alt-tab")"); }));
  EXPECT_TRUE(waitFor([&] { return showsThePicture(); }));
  EXPECT_FALSE(logHas("0xff54") || logHas("0xff0d")) << "the menu's keys went to the console";

  // Or with the pointer, whose moves and clicks on the menu stay in the viewer.
  desktop.keys({{XK_F8, true}, {XK_F8, false}});
  ASSERT_TRUE(waitFor([&] { return !showsThePicture(); }));
  const std::string before = dir.read(log.filename());
  const Rect first = layOutKeyMenu({1280, 1024}, keyMenuItems(true)).rows[0];
  desktop.click(first.x + first.width / 2, first.y + first.height / 2, 1);
  EXPECT_TRUE(waitFor([&] { return logHas(R"("event":"request","name":"ctrl-alt-del")"); }));
  EXPECT_TRUE(waitFor([&] { return showsThePicture(); }));
  const std::string after = dir.read(log.filename());
  EXPECT_EQ(after.find(R"("event":"pointer")", before.size()), std::string::npos) << after.substr(before.size());
}

// NAME=VALUE words for the shell, the values quoted.
std::string environmentWords(const std::vector<std::string>& environment) {
  std::string words;
  for (const auto& e : environment) {
    const auto equals = e.find('=');
    words += e.substr(0, equals + 1) + "'" + e.substr(equals + 1) + "' ";
  }
  return words;
}

TEST(ViewEnds, EachEndHasItsExitCodeAndSaysWhy) {
  test::Xvfb server{640, 480};
  ASSERT_TRUE(server.running());
  test::TempDir dir;
  const std::string environment = environmentWords(viewerEnvironment(dir, server.name()));
  struct Case {
    HandMadeConsole::Then then;
    const char* options;
    int exitCode;
    const char* says;
    const char* butNot;  // what the viewer did not do
  };
  using Then = HandMadeConsole::Then;
  const Case cases[] = {
      {Then::StaySilent, "--timeout 1", kExitTimeOut, "no answer from 127.0.0.1 within the time-out", "reached"},
      {Then::LogInAndEndTheSession, "", kExitSessionEnded, "(ServerCutConnect)", "lost"},
      {Then::ServeAScreenAndEnd, "", kExitSessionEnded, "the console ended the session", "lost"},
      {Then::LogInAndClose, "--reconnect 0", kExitSessionEnded, "was lost", "could not be reached again"},
      {Then::ServeAScreenOfAnUnusualSize, "", kExitSessionEnded,
       "message: The resolution of the current server is not supported, please change to 640X480, 800X600 or "
       "1024X768.\nvantrel view: ended the session: the console's screen has a size the viewer does not show",
       "the console ended"},
      {Then::SendAnOversizedClipboard, "--reconnect 0", kExitSessionEnded,
       "dropped the link to 127.0.0.1:PORT: the console sent a message of 7000000 bytes, more than the 6604800",
       "lost"},
  };
  for (const Case& c : cases) {
    HandMadeConsole console(c.then);
    const auto began = Clock::now();
    const std::string port = std::to_string(console.port());
    const ToolRun run = runTool(dir, "view 127.0.0.1:" + port + " --user operator " + c.options, environment);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_FALSE(leaked(run.err)) << run.err;
    EXPECT_NE(run.err.find(std::regex_replace(c.says, std::regex("PORT"), port)), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(c.butNot), std::string::npos) << run.err;
    EXPECT_LT(Clock::now() - began, 10s) << c.says;
  }
  EXPECT_EQ(runTool(dir, "view 127.0.0.1:1 --user operator", environment).exitCode, kExitNoConnection);
  // Without a display the viewer's own line is all it says.
  const ToolRun headless =
      runTool(dir, "view 127.0.0.1:1 --user operator", environment + "DISPLAY= WAYLAND_DISPLAY= SDL_VIDEODRIVER=");
  EXPECT_EQ(headless.exitCode, kExitDisplay);
  EXPECT_EQ(headless.err, "vantrel view: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set)\n");
}

// Under the sanitizer build a leak of the viewer's shows at its exit.
TEST(ViewEnds, AThousandUpdatesLaterTheSessionEndsWithNothingLeaked) {
  test::Xvfb server{800, 600};
  ASSERT_TRUE(server.running());
  test::TempDir dir;
  HandMadeConsole console(HandMadeConsole::Then::ServeUpdatesAndEnd);
  const ToolRun run = runTool(dir, "view 127.0.0.1:" + std::to_string(console.port()) + " --user operator",
                              environmentWords(viewerEnvironment(dir, server.name())));
  // The console's end comes after the last update: the viewer has drawn them all.
  EXPECT_EQ(run.exitCode, kExitSessionEnded) << run.err;
  EXPECT_NE(run.err.find("(ServerCutConnect)"), std::string::npos) << run.err;
  EXPECT_FALSE(leaked(run.err)) << run.err;
}

}  // namespace
}  // namespace vantrel::cli
