// The desktop's clipboard and the console's kept in step.
#include "viewer/sdl/clipboard_sync.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel::cli {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ClipboardSync, LocalTextGoesOutOnceAsLatin1AndTheConsolesIsNotSentBack) {
  ClipboardSync sync;
  EXPECT_EQ(sync.localText("Grüße\r\nzwei", 0),
            "Gr\xFC\xDF"
            "e\nzwei");
  EXPECT_EQ(sync.localText("Grüße\r\nzwei", 0), std::nullopt);  // seen already

  // The console's text: Latin-1 to UTF-8, cut at a NUL, and not echoed when the desktop reports it.
  const std::string fromConsole = sync.consoleText(bytes(std::string("caf\xE9\nx\0tail", 11)));
  EXPECT_EQ(fromConsole, "café\nx");
  EXPECT_EQ(sync.localText(fromConsole, 0), std::nullopt);
  EXPECT_EQ(sync.localText("new", 0), "new");

  // Over the limit (counted without CRs) nothing goes, and it is not tried again.
  EXPECT_EQ(sync.localText("abcd\r\n", 5), "abcd\n");
  EXPECT_EQ(sync.localText("abcde\r\n", 5), std::nullopt);
}

}  // namespace
}  // namespace vantrel::cli
