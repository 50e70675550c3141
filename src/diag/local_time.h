#pragma once
// Local wall-clock time, broken down, for the trace files.

#include <string>

namespace vantrel {

struct LocalTime {
  int year = 0;        // e.g. 2026
  int month = 1;       // 1..12
  int day = 1;         // 1..31
  int weekday = 0;     // 0 = Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime localTimeNow();

// "04-09:05:07:042": day of month, hour, minute, second, milliseconds.
std::string formatTraceTimestamp(const LocalTime& t);
// "Fri Dec  4 00:26:03 2026", the C library's asctime layout without its line feed.
std::string formatClockText(const LocalTime& t);

}  // namespace vantrel
