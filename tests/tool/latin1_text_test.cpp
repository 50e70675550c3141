#include "latin1_text.h"

#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(Latin1Text, ConvertsBothWays) {
  struct Case {
    std::string utf8;
    std::string latin1;
  };
  for (const Case& c : std::vector<Case>{
           {"plain text\n", "plain text\n"},
           {"caf\xC3\xA9 \xC3\xBF", "caf\xE9 \xFF"},
           {"a\r\nb\rc", "a\nb\rc"},  // a CR before LF goes: the viewer adds its own
       }) {
    EXPECT_EQ(utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
  }
  EXPECT_EQ(latin1ToUtf8("caf\xE9 \xFF\x80"), "caf\xC3\xA9 \xC3\xBF\xC2\x80");
}

TEST(Latin1Text, WhatLatin1LacksOrIsNotUtf8BecomesOneQuestionMarkEach) {
  struct Case {
    std::string utf8;
    std::string latin1;
  };
  for (const Case& c : std::vector<Case>{
           {"\xE2\x82\xAC 5", "? 5"},          // the euro sign
           {"\xF0\x9F\x98\x80!", "?!"},        // four bytes
           {"\xC3", "?"},                      // cut short at the end
           {"\xC3(", "?("},                    // cut short by an ASCII byte
           {"\xC0\xAF", "??"},                 // overlong
           {"\xED\xA0\x80", "?"},              // a surrogate
           {"\xFF\xFE", "??"},
       }) {
    EXPECT_EQ(utf8ToLatin1(c.utf8), c.latin1);
    EXPECT_FALSE(fitsLatin1(c.utf8)) << c.latin1;  // what the viewer tells its user, once
  }
  EXPECT_TRUE(fitsLatin1("Gr\xC3\xBC\xC3\x9F" "e \xC3\xBF?"));
  // What the console's --clipboard-text takes for Latin-1 already: anything that is not UTF-8.
  for (const char* text : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "caf\xE9"}) EXPECT_FALSE(isUtf8(text)) << text;
  for (const char* text : {"", "caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD"}) EXPECT_TRUE(isUtf8(text)) << text;
}

}  // namespace
}  // namespace vantrel::cli
