#include "server/address_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

TEST(ParseAddress, ReadsOctetsLikeTheResponder) {
  struct Case { const char* text; std::uint32_t expected; };
  for (const Case& c : {
           Case{"192.168.1.2", 0xC0A80102u}, Case{"0.0.0.0", 1u}, Case{"", 0u}, Case{"1.2.3", 0u},
           Case{"10.>.>.>", 0x0AFFFFFFu}, Case{">9.0.0.1", 0xFF000001u},
           Case{" 10.+2.3x.4", 0x0A020304u},        // blanks, sign, trailing junk
           Case{"1000.0.0.1", 0x64000001u},          // octet texts are cut to three characters
           Case{"1.2.3.4.5", 0x01020304u},           // the fourth octet is the rest, cut to three
           Case{"256.0.0.0", 0u + 1u},               // 256 * 2^24 wraps to 0, then 0 becomes 1
           Case{"a.b.c.d", 1u}}) {
    EXPECT_EQ(parseAddress(c.text), c.expected) << c.text;
  }
}

TEST(IsAddressAllowed, MatchesSinglesRangesAndPatterns) {
  struct Case { const char* list; const char* address; bool allowed; };
  for (const Case& c : {
           Case{"10.0.0.5-10.0.0.1;", "10.0.0.3", true}, Case{"10.0.0.5-10.0.0.1;", "10.0.0.5", true},
           Case{"10.0.0.5-10.0.0.1;", "10.0.0.6", false}, Case{"192.168.*.*;", "192.168.7.9", true},
           Case{"192.168.*.*;", "192.169.0.1", false}, Case{"10.1.1.1;", "10.1.1.1", true},
           Case{"10.1.1.1", "10.1.1.1", false},                  // no ';' after the last entry
           Case{"10.1.1.1\n10.2.2.2", "10.1.1.1", true}, Case{"10.1.1.1\r\n10.2.2.2", "10.2.2.2", false},
           Case{";;bogus;10.3.3.3;", "10.3.3.3", true},          // empty and unparsable entries skipped
           Case{"10.3.3.3;", "not an address", false}, Case{"0.0.0.0;", "0.0.0.0", true},
           Case{"10.0.0.1-junk;10.0.0.9;", "10.0.0.9", true},
           Case{"*.*.*.*;0.0.0.1-255.255.255.255;", "::1.2.3.4", false},  // IPv6 matches nothing
           Case{"*.*.*.*;", "::ffff:10.0.0.1", false}}) {
    std::string list = c.list;
    EXPECT_EQ(isAddressAllowed(list, c.address), c.allowed) << c.list << " / " << c.address;
  }
}

TEST(IsAddressAllowed, LineBreaksBecomeSeparatorsInTheStoredList) {
  std::string list = "10.0.0.1\r\n10.0.0.2\n";
  EXPECT_TRUE(isAddressAllowed(list, "10.0.0.2"));
  EXPECT_EQ(list, "10.0.0.1;;10.0.0.2;");
}

TEST(IsAddressAllowed, OverlongEntriesAreCutNotOverrun) {
  std::string list = std::string(5000, '1') + ";" + std::string(40, '*') + "-" + std::string(40, '9') + ";";
  EXPECT_FALSE(isAddressAllowed(list, "10.0.0.1"));
}

TEST(MisreadAllowEntries, NamesTheEntriesTheResponderReadsOtherwiseThanWritten) {
  struct Case { const char* list; std::vector<std::size_t> lines; };
  for (const Case& c : std::vector<Case>{
           {"10.0.0.5;\n10.0.0.1-10.0.0.9\n192.168.*.*\r\n 10.0.0.7 ;\n\n*.*.*.*;", {}},
           {"10.0.0.5-10.0.0.1 ;10.0.0.1 - 10.0.0.9\n", {}},  // bounds in either order, blanks around them
           {"127.0.0.0/8\n", {1}},            // read as the single address 127.0.0.0
           {"10.0.0.1\nhost.example\n", {2}},
           {"10.0.0.300\n10.0.0.1-10.0.0.x\n", {1, 2}},
           {"10.1*.0.0\n# office\n", {1, 2}},   // '*' inside an octet, a comment
           {"  10.0.0.1\n", {1}},             // the blanks count in the three characters of an octet
           {"10.0.0.1-10.0.0.255-\n", {1}},   // the second bound is cut at 15 characters
           {"010.000.000.001.000.000.000.1;", {1}},  // cut at 31 characters
           {"10.0.0.1;10.0.0.2", {}},          // the last entry has no end and is no entry
       }) {
    std::vector<std::size_t> lines;
    for (const auto& entry : misreadAllowEntries(c.list)) lines.push_back(entry.line);
    EXPECT_EQ(lines, c.lines) << c.list;
  }
  const auto named = misreadAllowEntries("10.0.0.1;\n127.0.0.0/8;\n");
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0].text, "127.0.0.0/8");
}

}  // namespace
}  // namespace vantrel
