#include "clipboard/clipboard_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using namespace std::string_literals;

TEST(ClipboardText, LocalTextLosesItsCrsAndEndsAtItsNul) {
  const struct { std::string local; std::optional<std::string> sent; } cases[] = {
      {"a\r\nb", "a\nb"},
      {"\r\r\n\r", "\n"},
      {"caf\xE9\r\n\xFF", "caf\xE9\n\xFF"},  // 8-bit text goes as it is
      {"ab\0\r\ncd"s, "ab"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(clipboardTextToSend(c.local, kMaxClipboardSend), c.sent) << c.local;
}

TEST(ClipboardText, TheLimitCountsWhatIsLeftAfterTheCrs) {
  const std::string atLimit(kMaxClipboardSend, 'x');
  const std::size_t limit = atLimit.size();
  const struct { std::string local; std::int32_t limit; std::optional<std::size_t> sentLength; } cases[] = {
      {atLimit, kMaxClipboardSend, limit},
      {"\r" + atLimit + "\r\r", kMaxClipboardSend, limit},
      {atLimit + "y", kMaxClipboardSend, std::nullopt},
      {atLimit + "\0yyy"s, kMaxClipboardSend, limit},  // what follows the NUL is not the text's
      {atLimit + "y", 0, limit + 1},                   // 0 or less: no limit
      {atLimit + "y", -1, limit + 1},
  };
  for (const auto& c : cases) {
    const auto sent = clipboardTextToSend(c.local, c.limit);
    EXPECT_EQ(sent ? std::optional(sent->size()) : std::nullopt, c.sentLength)
        << c.local.size() << " bytes, limit " << c.limit;
  }
}

TEST(ClipboardText, ConsoleTextEndsAtItsNulAndTakesCrLfForWindows) {
  const struct { std::string payload; std::string kept; std::string windows; } cases[] = {
      {"a\nb", "a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb", "a\r\r\nb"},  // a CR already there stays
      {"\n\n", "\n\n", "\r\n\r\n"},
      {"x\ny\0z\n"s, "x\ny", "x\r\ny"},
      {"\0abc"s, "", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> payload(c.payload.begin(), c.payload.end());
    const std::string_view kept = receivedClipboardText(payload);
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(withCrLf(kept), c.windows);
  }
}

}  // namespace
}  // namespace vantrel
