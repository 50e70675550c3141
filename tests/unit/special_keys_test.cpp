#include "input/special_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "support/key_event_log.h"
#include "toolbar/toolbar_layout.h"

namespace vantrel {
namespace {

using Events = std::vector<std::string>;

// A request that could not be sent is a failure; the key events of a chord are not looked at,
// so a chord over a broken link still reports success and focuses the viewer.
TEST(SpecialKeysTest, EachCodeSendsItsSequenceAndFocusesTheViewer) {
  const Events ctrlSpace{"+ffe3", "+20", "-20", "-ffe3"}, altF4{"+ffe9", "+ffc1", "-ffc1", "-ffe9"};
  const auto focused = [](Events events) {
    events.push_back("focus");
    return events;
  };
  const struct { std::uint32_t code; bool linkUp, result; Events expected; bool session = true; } cases[]{
      {0, true, true, {"request 14", "focus"}}, {0, false, false, {"request 14"}},
      {1, true, true, focused(ctrlSpace)},      {1, false, true, focused(ctrlSpace)},
      {2, true, true, focused(altF4)},          {2, false, true, focused(altF4)},
      {3, true, true, {"request 15", "focus"}}, {3, false, false, {"request 15"}},
      {4, true, false, {}},                     {0, true, false, {}, false},
  };
  for (const auto& c : cases) {
    test::KeyEventLog log;
    log.setLinkUp(c.linkUp);
    const auto session = c.session ? &log : nullptr;
    EXPECT_EQ(sendSpecialSequence(c.code, session, log), c.result) << c.code << c.linkUp << c.session;
    EXPECT_EQ(log.take(), c.expected) << c.code << c.linkUp << c.session;
  }
}

// The toolbar's first four buttons send the four sequences.
struct RecordingHost final : ToolbarHost {
  void sendSpecialSequence(std::uint32_t code) override { calls += "sequence " + std::to_string(code); }
  void requestSessionEnd() override { calls += "end"; }
  void returnToWindowedView() override { calls += "windowed"; }
  std::string calls;
};

TEST(ToolbarLayoutTest, EachButtonDoesItsOneThing) {
  const struct { int id; const char* calls; } cases[]{
      {1, "sequence 0"}, {2, "sequence 1"}, {3, "sequence 2"}, {4, "sequence 3"},
      {5, "end"},        {6, ""},           {7, "windowed"},   {0, ""},           {8, ""}};
  for (const auto& c : cases) {
    RecordingHost host;
    runToolbarCommand(c.id, host);
    EXPECT_EQ(host.calls, c.calls) << c.id;
  }
}

}  // namespace
}  // namespace vantrel
