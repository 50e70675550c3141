// Key messages go in as the viewer window receives them, over fake layouts; what is checked is
// the exact run of key events (and boxes and close requests) that comes out.
#include "input/key_mapper.h"

#include <gtest/gtest.h>

#include "catalog/message_catalog.h"
#include "support/fake_keyboard.h"
#include "support/key_event_log.h"

namespace vantrel {
namespace {

using Events = std::vector<std::string>;

constexpr std::uint32_t kVkLWin = 0x5B, kVkOem3 = 0xC0, kVkOem5 = 0xDC, kVkOem6 = 0xDD, kVkOem7 = 0xDE;

struct Step { std::uint32_t key; bool down; };
Step down(std::uint32_t key) { return {key, true}; }
Step up(std::uint32_t key) { return {key, false}; }

struct Scenario {
  const char* name;
  test::FakeLayout (*layout)();
  std::vector<Step> steps;
  Events expected;
};

class KeyMapperTest : public ::testing::Test {
 protected:
  void expectAll(const std::vector<Scenario>& scenarios) {
    for (const Scenario& scenario : scenarios) {
      test::FakeKeyboard keyboard(scenario.layout());
      KeyMapper mapper = mapperFor(keyboard);
      for (const Step& step : scenario.steps) {
        const test::KeyMessage m = step.down ? keyboard.press(step.key) : keyboard.release(step.key);
        mapper.processKeyEvent(m.virtualKey, m.keyData);
      }
      EXPECT_EQ(log.take(), scenario.expected) << scenario.name;
    }
  }

  KeyMapper mapperFor(KeyboardPort& keyboard) {
    return KeyMapper(keyboard, log, log, {log, msgBoxShowing, catalog, 0, reinterpret_cast<WindowRef>(77)});
  }

  test::KeyEventLog log;
  std::atomic<std::uint8_t> msgBoxShowing{0};
  MessageCatalog catalog{"", [](auto, std::string_view key, std::string_view fallback, auto&) {
                           return std::string(key == "ProjectName_en" ? "Console" : fallback);
                         }};
};

TEST_F(KeyMapperTest, EveryTableRowSendsItsKeysym) {
  constexpr std::uint32_t kExtended = 1u << 24, kUp = 3u << 30;
  struct Row { std::uint32_t virtualKey, keysym, extended = 0; };
  std::vector<Row> rows{
      {0x08, 0xFF08}, {0x09, 0xFF09}, {0x0C, 0xFF0B}, {0x0D, 0xFF0D}, {0x0D, 0xFF0D, kExtended},
      {0xA0, 0xFFE1}, {0xA1, 0xFFE2}, {0x10, 0xFFE1}, {0xA2, 0xFFE3}, {0xA3, 0xFFE4}, {0x11, 0xFFE3},
      {0x11, 0xFFE4, kExtended}, {0xA4, 0xFFE9}, {0xA5, 0xFFEA}, {0x12, 0xFFE9}, {0x12, 0xFFEA, kExtended},
      {0x13, 0xFF13}, {0x14, 0xFFE5}, {0x1B, 0xFF1B}, {0x20, 0x0020}, {0x21, 0xFF55}, {0x22, 0xFF56},
      {0x23, 0xFF57}, {0x24, 0xFF50}, {0x25, 0xFF51}, {0x26, 0xFF52}, {0x27, 0xFF53, kExtended},
      {0x28, 0xFF54}, {0x29, 0xFF60}, {0x2B, 0xFF62}, {0x2C, 0xFF61}, {0x2D, 0xFF63},
      {0x2E, 0xFFFF, kExtended}, {0x2F, 0xFF6A}, {0x6A, 0xFFAA}, {0x6B, 0xFFAB}, {0x6C, 0xFFAC},
      {0x6D, 0xFFAD}, {0x6E, 0xFFAE}, {0x6F, 0xFFAF, kExtended}, {0x90, 0xFF7F}, {0x91, 0xFF14}};
  for (std::uint32_t i = 0; i < 10; ++i) rows.push_back({0x60 + i, 0xFFB0 + i});  // keypad, Num Lock on
  for (std::uint32_t i = 0; i < 24; ++i) rows.push_back({0x70 + i, 0xFFBE + i});  // F1 .. F24

  test::FakeKeyboard keyboard(test::usLayout());
  KeyMapper mapper = mapperFor(keyboard);
  for (const Row& row : rows) {
    mapper.processKeyEvent(row.virtualKey, 1 | row.extended);
    mapper.processKeyEvent(row.virtualKey, 1 | row.extended | kUp);
    const Events expected{test::keyEventEntry(row.keysym, true), test::keyEventEntry(row.keysym, false)};
    EXPECT_EQ(log.take(), expected) << "virtual key " << row.virtualKey;
  }
}

TEST_F(KeyMapperTest, LettersKeepTheCaseOfTheirPress) {
  const auto us = test::usLayout;
  expectAll({
      {"Ctrl+C lifts nothing", us, {down(kVkLControl), down('C'), up('C'), up(kVkLControl)},
       {"+ffe3", "+63", "-63", "-ffe3"}},
      {"Shift let go before A", us, {down(kVkLShift), down('A'), up(kVkLShift), up('A')},
       {"+ffe1", "+41", "-ffe1", "-41"}},
      {"Shift pressed after a", us, {down('A'), down(kVkRShift), up('A')}, {"+61", "+ffe1", "-61"}},
      {"Caps Lock with Ctrl", us, {down(kVkCapital), down(kVkRControl), down('A'), up('A')},
       {"+ffe5", "+ffe4", "+61", "-61"}},
      {"Ctrl+Shift+A", us, {down(kVkLControl), down(kVkLShift), down('A')}, {"+ffe3", "+ffe1", "+41"}},
      {"Alt+F lifts nothing", us, {down(kVkLMenu), down('F'), up('F')}, {"+ffe9", "+66", "-66"}},
      {"auto-repeat", us, {down('A'), down('A'), down('A'), up('A')}, {"+61", "+61", "+61", "-61"}},
      {"the Windows key sends nothing and forgets nothing", us,
       {down(kVkLShift), down('A'), down(kVkLWin), up(kVkLWin), up(kVkLShift), up('A')},
       {"+ffe1", "+41", "-ffe1", "-41"}},
  });
}

TEST_F(KeyMapperTest, AltGrCharactersGoOutWithoutTheirModifiers) {
  const auto de = test::germanLayout;  // AltGr arrives as a fake left Ctrl, then right Alt
  expectAll({
      {"AltGr+Q", de, {down(kVkLControl), down(kVkRMenu), down('Q'), up('Q'), up(kVkRMenu), up(kVkLControl)},
       {"+ffe3", "+ffea", "-ffe3", "-ffea", "+40", "+ffea", "-ffe3", "-ffe3", "-ffea", "-40", "+ffea",
        "-ffe3", "-ffea", "-ffe3"}},
      {"left Ctrl+Alt+Q", de, {down(kVkLControl), down(kVkLMenu), down('Q')},
       {"+ffe3", "+ffe9", "-ffe3", "-ffe9", "+40", "-ffe9", "-ffe3"}},
      {"Ctrl and Alt without a side", de, {down(kVkControl), down(kVkMenu), down('Q')},
       {"+ffe3", "+ffe9", "-ffe3", "-ffe9", "-ffea", "+40", "+ffea", "-ffe9", "-ffe3"}},
      {"AltGr+E, the euro sign", de, {down(kVkLControl), down(kVkRMenu), down('E')},
       {"+ffe3", "+ffea", "-ffe3", "-ffea", "+20ac", "+ffea", "-ffe3"}},
      {"AltGr+M, a Latin-1 sign", de, {down(kVkLControl), down(kVkRMenu), down('M')},
       {"+ffe3", "+ffea", "-ffe3", "-ffea", "+b5", "+ffea", "-ffe3"}},
      {"AltGr on a key without an AltGr sign", de, {down(kVkLControl), down(kVkRMenu), down('A')}, {"+ffe3", "+ffea", "+61"}},
      {"Ctrl+Alt on a layout without AltGr", test::usLayout, {down(kVkLControl), down(kVkLMenu), down('Q')},
       {"+ffe3", "+ffe9", "+71"}},
  });
}

TEST_F(KeyMapperTest, DeadKeysSendDeadKeysyms) {
  const auto intl = test::usInternationalLayout;
  const auto de = test::germanLayout;
  expectAll({
      {"apostrophe", intl, {down(kVkOem7), up(kVkOem7)}, {"+fe51", "-fe51"}},
      {"grave", intl, {down(kVkOem3)}, {"+fe50"}},
      {"circumflex", intl, {down(kVkLShift), down('6')}, {"+ffe1", "+fe52"}},
      {"tilde", intl, {down(kVkLShift), down(kVkOem3)}, {"+ffe1", "+fe53"}},
      {"quote: no dead keysym", intl, {down(kVkLShift), down(kVkOem7)}, {"+ffe1"}},
      {"German acute", de, {down(kVkOem6)}, {"+fe51"}},
      {"German grave", de, {down(kVkLShift), down(kVkOem6)}, {"+ffe1", "+fe50"}},
      {"German circumflex", de, {down(kVkOem5)}, {"+fe52"}},
      {"diaeresis: no dead keysym", de, {down(kVkLShift), down(kVkOem5)}, {"+ffe1"}},
  });
}

TEST_F(KeyMapperTest, AFailureIsReportedAndClosesTheViewer) {
  test::FakeKeyboard keyboard(test::usLayout());
  KeyMapper mapper = mapperFor(keyboard);
  keyboard.failWith("keyboard gone");
  mapper.processKeyEvent('A', 1);
  EXPECT_EQ(log.take(), (Events{"box keyboard gone | Console | 327696 | owner 77", "close"}));
  EXPECT_EQ(msgBoxShowing, 0);
}

}  // namespace
}  // namespace vantrel
