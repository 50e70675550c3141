#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "diag/debug_trace.h"
#include "diag/local_time.h"
#include "diag/trace_log.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

TEST(TraceFormats, TimestampAndClockText) {
  const LocalTime t{2026, 12, 4, 5, 9, 5, 7, 42};
  EXPECT_EQ(formatTraceTimestamp(t), "04-09:05:07:042");
  EXPECT_EQ(formatClockText(t), "Fri Dec  4 09:05:07 2026");
  EXPECT_EQ(formatClockText(LocalTime{2027, 1, 31, 0, 23, 59, 58, 999}), "Sun Jan 31 23:59:58 2027");
}

TEST(TraceLog, EachWriteAppendsOneFramedLine) {
  test::TempDir dir;
  const TraceLog log((dir.path() / "log.txt").string());
  log.write("plain");
  log.write(std::string("string"));
  log.write(std::string("a"), std::string("b"));
  log.write("count", -42);

  const std::string stamp = R"(\d\d-\d\d:\d\d:\d\d:\d\d\d)";
  const std::regex expected(stamp + "==>plain<==\r\n" + stamp + "==>string<==\r\n" + stamp +
                            "==>a==>b<==\r\n" + stamp + "==>count==>-42<==\r\n");
  const std::string text = dir.read("log.txt");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  EXPECT_STREQ(TraceLog().name().c_str(), "e:\\log.txt");
}

TEST(DebugTrace, HexDumpRowsArePaddedAndMaskLineEnds) {
  const std::uint8_t bytes[4] = {0x0D, 0x41, 0x0A, 0xFF};
  const std::string row = DebugTrace::hexDumpRow(bytes, 4);
  EXPECT_EQ(row, std::string("0D 41 0A FF 00 00 00 00  00 00 00 00 00 00 00 00 | ") +
                     std::string("\0A\0\xFF", 4) + std::string(12, '\0'));
}

TEST(DebugTrace, FirstPrintWritesTheBannerOnce) {
  test::TempDir dir;
  DebugTrace trace((dir.path() / "jdebug.txt").string());
  trace.debugPrint("value %d", 7);
  trace.debugPrint("%s", "again");
  const std::regex expected("\n\n\\*{80}\r\nSTART AT: \\w{3} \\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\r\n"
                            "value 7\r\nagain\r\n");
  const std::string text = dir.read("jdebug.txt");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST(DebugTrace, HexDumpOfTwentyBytesWritesTwoRowsAfterItsOwnBanner) {
  test::TempDir dir;
  DebugTrace trace((dir.path() / "jdebug.txt").string());
  std::uint8_t data[20];
  for (std::uint8_t i = 0; i < 20; ++i) data[i] = static_cast<std::uint8_t>(0x30 + i);
  trace.debugHexDump("title", data, sizeof data);
  trace.debugPrint("after");

  const std::string text = dir.read("jdebug.txt");
  const auto firstLineEnd = text.find("\r\n");
  EXPECT_TRUE(std::regex_match(text.substr(0, firstLineEnd),
                               std::regex("Start at : \\w{3} \\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n")));
  const std::string rest = text.substr(firstLineEnd + 2);
  const std::string expected = "title\r\n" + DebugTrace::hexDumpRow(data, 16) + "\r\n" +
                               DebugTrace::hexDumpRow(data + 16, 4) + "\r\nafter\r\n";
  EXPECT_EQ(rest, expected);
  EXPECT_NE(rest.find("40 41 42 43 00 00 00 00  00 00 00 00 00 00 00 00 | @ABC"), std::string::npos);
}

TEST(DebugTrace, DisabledTraceWritesNothing) {
  test::TempDir dir;
  DebugTrace trace((dir.path() / "jdebug.txt").string());
  trace.setEnabled(false);
  trace.debugPrint("x");
  const std::uint8_t byte = 1;
  trace.debugHexDump("t", &byte, 1);
  trace.debugWriteRaw(&byte, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "jdebug.txt"));
}

}  // namespace
}  // namespace vantrel
