#include "viewer/view_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vantrel {
namespace {

TEST(ViewOptionsTest, AnyLocalScreenOnlyWithAOne) {
  const struct {
    std::optional<std::string> value;  // none: no such key
    bool enabled;
  } cases[]{{"1", true}, {std::nullopt, false}, {"0", false}, {"", false}, {"yes", false}, {"11", false}};
  for (const auto& c : cases) {
    const MessageCatalog catalog("C:\\host", [&](std::string_view section, std::string_view key,
                                                 std::string_view fallback, const std::string&) {
      if (section == "VIEW" && key == "AnyLocalScreen" && c.value) return *c.value;
      return std::string(fallback);
    });
    EXPECT_EQ(anyLocalScreenEnabled(catalog), c.enabled) << c.value.value_or("(none)");
  }
}

}  // namespace
}  // namespace vantrel
