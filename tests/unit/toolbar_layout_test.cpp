#include "toolbar/toolbar_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

TEST(ToolbarLayoutTest, CentredInItsParentAndClippedEquallyWhenNarrower) {
  const struct { int parentWidth, x; } cases[]{{1024, 199}, {800, 87}, {625, 0}, {624, 0}, {600, -12}, {0, -312}};
  for (const auto& c : cases) EXPECT_EQ(toolbarX(c.parentWidth), c.x) << c.parentWidth;

  // Both ends of the span are over the toolbar.
  const ToolbarSpan span = toolbarSpan(112, 88);
  EXPECT_EQ(span, (ToolbarSpan{200, 825}));
  EXPECT_FALSE(span.contains(199));
  EXPECT_TRUE(span.contains(200));
  EXPECT_TRUE(span.contains(825));
  EXPECT_FALSE(span.contains(826));
}

struct RecordingHost final : ToolbarHost {
  void sendSpecialSequence(std::uint32_t code) override { calls += "sequence " + std::to_string(code); }
  void requestSessionEnd() override { calls += "end"; }
  void returnToWindowedView() override { calls += "windowed"; }
  std::string calls;
};

TEST(ToolbarLayoutTest, EachButtonDoesItsOneThing) {
  const struct { int id; const char* calls; } cases[]{
      {1, "sequence 0"}, {2, "sequence 1"}, {3, "sequence 2"}, {4, "sequence 3"},
      {5, "end"},        {6, ""},           {7, "windowed"},   {0, ""},
      {8, ""},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    runToolbarCommand(c.id, host);
    EXPECT_EQ(host.calls, c.calls) << c.id;
  }
}

}  // namespace
}  // namespace vantrel
