// Console addresses as users write them: names, IPv4, and IPv6 with its port in brackets.
#include "address_text.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace vantrel::cli {
namespace {

TEST(SplitHostPort, TakesNamesIpv4AndBracketedIpv6) {
  struct Case { const char* text; const char* host; int port; };  // port 0: none given
  for (const Case& c : {Case{"console.example", "console.example", 0}, Case{"10.0.0.5:26000", "10.0.0.5", 26000},
                        Case{"[::1]:25001", "::1", 25001}, Case{"[::1]", "::1", 0},
                        Case{"[fe80::1%lo]:7", "fe80::1%lo", 7}, Case{"[::ffff:10.0.0.1]", "::ffff:10.0.0.1", 0},
                        // Without brackets only where no group could be read as a port.
                        Case{"::1", "::1", 0}, Case{"2001:db8::5", "2001:db8::5", 0}}) {
    std::string error;
    const auto split = splitHostPort(c.text, error);
    ASSERT_TRUE(split) << c.text << ": " << error;
    EXPECT_EQ(split->host, c.host) << c.text;
    EXPECT_EQ(split->port.value_or(0), c.port) << c.text;
  }
}

TEST(SplitHostPort, RefusesWithTheReason) {
  struct Case { const char* text; const char* reason; };
  for (const Case& c : {Case{"host:0", "'0' is not a port number"}, Case{"host:65536", "'65536' is not a port"},
                        Case{"host:", "'' is not a port"}, Case{":25000", "no host in ':25000'"},
                        Case{"[::1]:", "'' is not a port"}, Case{"[::1]:x", "'x' is not a port"},
                        Case{"[::1", "is not [IPV6] or [IPV6]:PORT"}, Case{"[::1]25000", "is not [IPV6]"},
                        Case{"[10.0.0.1]:5", "is not [IPV6]"}, Case{"[]", "is not [IPV6]"},
                        // An unbracketed address with a port is told how to write it.
                        Case{"::1:25000", "goes in brackets: [::1]:25000"},
                        Case{"2001:db8::1:80", "goes in brackets: [2001:db8::1]:80"}}) {
    std::string error;
    EXPECT_FALSE(splitHostPort(c.text, error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
  }
}

TEST(ParseListen, KnowsTheFamilyTheLoopbackAndTheProbesAddress) {
  struct Case { const char* text; bool ipv6; bool loopback; const char* ipv4; };  // ipv4 "": none
  for (const Case& c : {Case{"0.0.0.0", false, false, "0.0.0.0"}, Case{"localhost", false, true, "127.0.0.1"},
                        Case{"127.3.0.1", false, true, "127.3.0.1"}, Case{"10.0.0.5", false, false, "10.0.0.5"},
                        Case{"::", true, false, "0.0.0.0"}, Case{"::1", true, true, "127.0.0.1"},
                        Case{"::ffff:127.0.0.2", true, true, "127.0.0.2"}, Case{"2001:db8::5", true, false, ""},
                        Case{"fe80::1", true, false, ""}}) {
    const auto listen = parseListen(c.text);
    ASSERT_TRUE(listen) << c.text;
    EXPECT_EQ(listen->ipv6, c.ipv6) << c.text;
    EXPECT_EQ(listen->loopback, c.loopback) << c.text;
    char text[INET_ADDRSTRLEN] = "";
    if (listen->ipv4) inet_ntop(AF_INET, &*listen->ipv4, text, sizeof text);
    EXPECT_STREQ(text, c.ipv4) << c.text;
  }
  for (const char* text : {"", "any", "[::1]", "::1:", "1.2.3", "::1%lo"}) EXPECT_FALSE(parseListen(text)) << text;
}

}  // namespace
}  // namespace vantrel::cli
