// The allow file without what administrators add for themselves, its lines where they were.
#include "console/allow_list.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(AllowList, CommentsAndBlanksAroundEntriesAreLeftOut) {
  const struct { const char* written; const char* plain; } cases[] = {
      {"# office\n10.0.0.1\n", "\n10.0.0.1\n"},
      {"  10.0.0.1 \t# printer\r\n10.0.0.2\r\n", "10.0.0.1\n10.0.0.2\n"},
      {"10.0.0.1 ; 10.0.0.2;# both\n", "10.0.0.1;10.0.0.2;\n"},
      {"10.1.*.*   \n\n   \n10.0.0.1-10.0.0.9", "10.1.*.*\n\n\n10.0.0.1-10.0.0.9"},
      {"10.0.0 .1\n", "10.0.0 .1\n"},  // a blank inside an entry is still the responder's to refuse
  };
  for (const auto& c : cases) EXPECT_EQ(plainAllowList(c.written), c.plain) << c.written;
}

}  // namespace
}  // namespace vantrel::cli
