// `vantrel console --source x11` and `--pam` run as programs: an Xvfb of the test's own, the
// headless viewer and a viewer-side fake on loopback, PAM through pam_wrapper and nss_wrapper.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "console/area_scaler.h"
#include "png_image.h"
#include "server/screen_feed.h"
#include "support/temp_dir.h"
#include "tool/console_harness.h"
#include "tool/x_listener.h"
#include "tool/x_painter.h"
#include "tool/xvfb.h"

namespace vantrel::cli {
namespace {

// The next message of a type, acknowledging everything on the way as a viewer does.
std::optional<ConsoleMessage> next(FakeViewer& viewer, std::uint8_t type) {
  for (int i = 0; i < 50; ++i) {
    auto m = viewer.receive();
    if (!m) return std::nullopt;
    viewer.acknowledge();
    if (m->type() == type) return m;
  }
  return std::nullopt;
}

class ConsoleX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running());
    addAccount(accounts, "admin", "secret");
  }
  test::TempDir dir;
  std::filesystem::path accounts = dir.path() / "accounts";
  test::Xvfb server{1920, 1080};
};

TEST_F(ConsoleX11, ServesAScaledDesktopAndTypesTheViewersInputIntoIt) {
  test::XListener listener(server.name());
  ASSERT_TRUE(listener.ok());
  test::XPainter painter(server.name());
  const RgbImage desktop = test::testPicture(1920, 1080, 3);
  painter.draw(0, 0, desktop);

  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--source", "x11:" + server.name()});
  ASSERT_NE(console.port(), 0);
  EXPECT_NE(console.readLine().find("X desktop 1920x1080 served as 1024x768 (scaled to 1024x576)"), std::string::npos);

  // The headless viewer sees the desktop scaled into 1024 x 768 between black bars.
  const auto png = (dir.path() / "snap.png").string();
  const std::string snap = std::string("'") + toolPath() + "' snap 127.0.0.1:" + std::to_string(console.port()) +
                           " --user admin --password secret --out '" + png + "' >/dev/null";
  ASSERT_EQ(std::system(snap.c_str()), 0);
  std::string error;
  const auto seen = loadPng(png, error);
  ASSERT_TRUE(seen) << error;
  RgbImage expected{1024, 768, std::vector<std::uint8_t>(1024 * 768 * 3, 0)};
  AreaScaler({1920, 1080}, {1024, 576}).scale(desktop.rgb.data(), 1920 * 3, &expected.rgb[96 * 1024 * 3], 1024 * 3,
                                                {0, 0, 1024, 576});
  EXPECT_EQ(served565(*seen), served565(expected));

  // A viewer's pointer at the corners of the picture, and beyond it on the bars, reaches the
  // desktop's corners; keys arrive as typed; a small change comes as a small update.
  // (The snapshot's session may take a moment to end: until then, "another user".)
  auto [session, words] = loginWhenFree(console.port(), "admin", "secret");
  ASSERT_EQ(words, (std::vector<std::uint32_t>{107, 101}));
  FakeViewer& viewer = *session;
  viewer.send(3, 0, 18, 32);
  ASSERT_TRUE(next(viewer, ConsoleMessage::kScreenFormat));
  ASSERT_TRUE(next(viewer, ConsoleMessage::kScreenUpdate));

  struct Case {
    int x, y;
    std::pair<int, int> desktop;
  };
  for (const Case& c : std::vector<Case>{{0, 96, {0, 0}}, {1023, 671, {1919, 1079}}, {1023, 96, {1919, 0}},
                                         {0, 767, {0, 1079}}, {512, 0, {960, 0}}}) {
    viewer.send(2, 0, static_cast<std::uint16_t>(c.x), static_cast<std::uint32_t>(c.y));
    std::pair<int, int> at;
    for (int i = 0; i < 100 && (at = listener.pointer()) != c.desktop; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(at, c.desktop) << c.x << "," << c.y;
  }
  // The pointer's overlay follows it to where it stopped.
  for (std::optional<ConsoleMessage> overlay; (overlay = next(viewer, ConsoleMessage::kOverlayUpdate));) {
    if (overlay->u16At(2) <= 512 && 512 < overlay->u16At(2) + overlay->u16At(6) && overlay->u16At(4) <= 96 &&
        96 < overlay->u16At(4) + overlay->u16At(8)) {
      break;
    }
  }
  for (const std::uint32_t k : {0x41u, 0xE9u}) {
    viewer.send(1, 1, 0, k);
    viewer.send(1, 0, 0, k);
  }
  EXPECT_EQ(listener.keysPressed(2, 3000ms), (std::vector<std::uint32_t>{0x41, 0xE9}));

  // Small changes come as small updates, and the pointer's overlay, far from them, is not drawn
  // again after each: the next message after an update is the next update.
  painter.draw(600, 500, test::testPicture(8, 8, 50));
  const auto update = next(viewer, ConsoleMessage::kScreenUpdate);
  ASSERT_TRUE(update);
  EXPECT_LE(update->u16At(6) * update->u16At(8), 64 * 64);
  painter.draw(200, 700, test::testPicture(8, 8, 51));
  const auto after = viewer.receive();
  ASSERT_TRUE(after);
  viewer.acknowledge();
  EXPECT_EQ(after->type(), ConsoleMessage::kScreenUpdate);

  // A key the viewer leaves pressed is let go when the session ends.
  viewer.send(1, 1, 0, 'x');
  listener.keysPressed(1, 2000ms);
  session.reset();
  int down = 1;
  for (int i = 0; i < 200 && (down = listener.keysDown()) != 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(down, 0);
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

// A closed terminal or ssh session (SIGHUP) ends the console as SIGTERM does: the viewer is told,
// and what it held down on the desktop is let go.
TEST_F(ConsoleX11, HangingUpReleasesWhatTheViewerHeld) {
  test::XListener listener(server.name());
  ASSERT_TRUE(listener.ok());
  ConsoleProcess console({"--allow-local", "--accounts", accounts.string(), "--source", "x11:" + server.name()});
  ASSERT_NE(console.port(), 0);
  FakeViewer viewer(console.port());
  ASSERT_EQ(viewer.login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));
  viewer.send(3, 0, 18, 32);
  ASSERT_TRUE(next(viewer, ConsoleMessage::kScreenUpdate));
  viewer.send(1, 1, 0, 0xFFE1);  // Shift, down
  viewer.send(2, 1, 512, 384);   // the left button, down
  EXPECT_EQ(listener.buttons(1, 3000ms), std::vector<std::string>{"press 1"});
  ASSERT_GT(listener.keysDown(), 0);

  EXPECT_EQ(console.stop(SIGHUP), 0);
  EXPECT_EQ(listener.keysDown(), 0);
  EXPECT_EQ(listener.buttons(1, 3000ms), std::vector<std::string>{"release 1"});
  const auto goodbye = next(viewer, ConsoleMessage::kControl);
  ASSERT_TRUE(goodbye);
  EXPECT_EQ(goodbye->u16At(2), 17);
}

// The X server going away under a served session: the viewer is told that the console ended
// the session, the log says so with the time, and the console ends with the display's exit code.
TEST(ConsoleX11Loss, TheDesktopGoingAwayEndsTheConsoleInOrder) {
  test::TempDir dir;
  addAccount(dir.path() / "accounts", "admin", "secret");
  auto server = std::make_unique<test::Xvfb>(640, 480);
  ASSERT_TRUE(server->running());
  // Once the server has gone, a thread of the console that is inside libX11 may meet the I/O
  // error there too, and libX11 then unlocks its display's lock a second time on the way out.
  const auto suppressions = dir.write("tsan-suppressions", "mutex:libX11.so\n");
  ConsoleProcess console(
      {"--allow-local", "--accounts", (dir.path() / "accounts").string(), "--source", "x11:" + server->name()},
      {"TSAN_OPTIONS=suppressions=" + suppressions.string()});
  ASSERT_NE(console.port(), 0);
  EXPECT_NE(console.readLine().find("serving the X desktop"), std::string::npos);
  FakeViewer viewer(console.port());
  ASSERT_EQ(viewer.login("admin", "secret"), (std::vector<std::uint32_t>{107, 101}));
  EXPECT_NE(console.readLine().find("logged in"), std::string::npos);
  viewer.send(3, 0, 18, 32);
  ASSERT_TRUE(next(viewer, ConsoleMessage::kScreenUpdate));

  server.reset();
  const auto goodbye = next(viewer, ConsoleMessage::kControl);
  ASSERT_TRUE(goodbye);
  EXPECT_EQ(goodbye->u16At(2), 17);
  EXPECT_TRUE(std::regex_match(console.readLine(), std::regex(R"(\d{4}-\d\d-\d\dT\S+ the session has ended: the X display has gone away)")));
  EXPECT_EQ(console.stop(0), 5);
}

TEST(ConsolePam, LogsInMembersOfTheAdminGroupWithTheLockoutOfTheAccountFile) {
  test::TempDir dir;
  const auto passwd = dir.write("passwd", "alice:x:1000:1000::/:/bin/false\nbob:x:1001:1001::/:/bin/false\n");
  const auto group = dir.write("group", "users:x:1000:\nbob:x:1001:\nwheel:x:2000:alice\n");
  const auto passdb = dir.write("passdb", "alice:right:vantrel-test\nbob:right:vantrel-test\n");
  const std::string stack = "auth required " PAM_MATRIX_MODULE " passdb=" + passdb.string() +
                            "\naccount required " PAM_MATRIX_MODULE " passdb=" + passdb.string() + "\n";
  dir.write("vantrel-test", stack);
  dir.write("other", stack);  // PAM looks for it and complains when it is missing
  // nss_wrapper takes locks in its constructor, before ThreadSanitizer watches: its unlocks
  // would be reported as of unlocked mutexes.
  const auto suppressions = dir.write("tsan-suppressions", "mutex:libnss_wrapper.so\n");
  ConsoleProcess console({"--allow-local", "--pam", "vantrel-test", "--admin-group", "wheel"},
                         // The sanitizers cannot live with the wrappers' RTLD_DEEPBIND; Debian's
                         // pam_wrapper reads uid_wrapper's name for turning it off.
                         {"LD_PRELOAD=" PAM_WRAPPER_LIBRARY ":" NSS_WRAPPER_LIBRARY, "PAM_WRAPPER=1",
                          "PAM_WRAPPER_SERVICE_DIR=" + dir.path().string(), "UID_WRAPPER_DISABLE_DEEPBIND=1", "NSS_WRAPPER_DISABLE_DEEPBIND=1",
                          "NSS_WRAPPER_PASSWD=" + passwd.string(), "NSS_WRAPPER_GROUP=" + group.string(),
                          "ASAN_OPTIONS=verify_asan_link_order=0", "TSAN_OPTIONS=suppressions=" + suppressions.string()});
  ASSERT_NE(console.port(), 0);
  {
    FakeViewer alice(console.port());
    EXPECT_EQ(alice.login("alice", "right"), (std::vector<std::uint32_t>{107, 101}));
  }
  // Once that session is over: a right password outside the group is refused, and it counts
  // toward the lockout like the wrong ones after it. The log says which was which.
  EXPECT_EQ(loginWhenFree(console.port(), "bob", "right").words, (std::vector<std::uint32_t>{107, 102}));
  EXPECT_EQ(FakeViewer(console.port()).login("alice", "wrong"), (std::vector<std::uint32_t>{107, 102}));
  EXPECT_EQ(FakeViewer(console.port()).login("alice", "wrong"), (std::vector<std::uint32_t>{107, 111}));
  EXPECT_EQ(FakeViewer(console.port()).login("alice", "right"), std::vector<std::uint32_t>{103});
  std::string log;
  for (std::string line; (line = console.readLine()).find("locked") == std::string::npos && !line.empty();) {
    log += line + "\n";
  }
  EXPECT_NE(log.find("refused viewer 'bob' from 127.0.0.1: not in the administrators' group 'wheel'\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("refused viewer 'alice' from 127.0.0.1: wrong password\n"), std::string::npos) << log;
  EXPECT_EQ(console.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace vantrel::cli
