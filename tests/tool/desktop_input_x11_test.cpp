// Keys and pointer typed into an Xvfb of the test's own, as a client there receives them.
#include "console/x11/desktop_input_x11.h"

#include <gtest/gtest.h>

#include "tool/x_listener.h"
#include "tool/xvfb.h"

namespace vantrel::cli {
namespace {

using namespace std::chrono_literals;

class X11InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running());
    ASSERT_TRUE(listener.ok());
    std::string error;
    input = X11Input::open(server.name(), error);
    ASSERT_TRUE(input) << error;
  }
  // Each keysym pressed and released as a viewer sends it, with the viewer's modifiers around.
  std::vector<std::uint32_t> type(const std::vector<std::vector<std::uint32_t>>& strokes) {
    for (const auto& stroke : strokes) {
      for (const auto k : stroke) input->key(k, true);
      for (auto k = stroke.rbegin(); k != stroke.rend(); ++k) input->key(*k, false);
    }
    return listener.keysPressed(strokes.size(), 3000ms);
  }

  test::Xvfb server{1024, 768};
  test::XListener listener{server.name()};
  std::unique_ptr<X11Input> input;
};

TEST_F(X11InputTest, KeysArriveAsTheKeysymsSentWhateverTheKeymapNeeds) {
  constexpr std::uint32_t kShiftL = 0xFFE1;
  // US keymap: plain, shifted by the console, shifted by the viewer's own Shift, and a Latin-1
  // letter the keymap lacks (a spare keycode), twice, and a function key.
  EXPECT_EQ(type({{'a'}, {'A'}, {kShiftL, 'B'}, {'@'}, {0xE9}, {0xE9}, {0xC9}, {0xFF0D}}),
            (std::vector<std::uint32_t>{'a', 'A', 'B', '@', 0xE9, 0xE9, 0xC9, 0xFF0D}));

  // German keymap, changed under the running input: the third level (AltGr) and letters the US
  // keymap lacks.
  ASSERT_EQ(server.run("setxkbmap de"), 0);
  EXPECT_EQ(type({{'@'}, {'\\'}, {'{'}, {0xB5}, {0xFC}, {0xDC}, {'z'}, {'y'}}),
            (std::vector<std::uint32_t>{'@', '\\', '{', 0xB5, 0xFC, 0xDC, 'z', 'y'}));
  EXPECT_EQ(listener.keysDown(), 0);
}

TEST_F(X11InputTest, NothingStaysPressedAfterTheSession) {
  input->key(0xFFE3, true);  // Control_L
  input->key('x', true);
  input->key(0x100, true);   // a keysym with no key: a spare keycode
  listener.keysPressed(2, 2000ms);
  EXPECT_GT(listener.keysDown(), 0);
  input->pointer({10, 10}, 1);
  input->releaseAll();
  EXPECT_EQ(listener.keysDown(), 0);
  EXPECT_EQ(listener.buttons(2, 2000ms), (std::vector<std::string>{"press 1", "release 1"}));
}

TEST_F(X11InputTest, PointerMovesAndPressesTheButtonsOfTheMask) {
  input->pointer({1023, 767}, 0);
  input->pointer({1023, 767}, 5);  // left and right
  input->pointer({0, 0}, 4);       // left let go while moving
  input->pointer({0, 0}, 0);
  EXPECT_EQ(listener.buttons(4, 2000ms),
            (std::vector<std::string>{"press 1", "press 3", "release 1", "release 3"}));
  EXPECT_EQ(listener.pointer(), (std::pair<int, int>{0, 0}));
}

}  // namespace
}  // namespace vantrel::cli
