#include "diag/local_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace vantrel {

LocalTime localTimeNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;

  // std::localtime shares one result between threads.
  static std::mutex lock;
  std::lock_guard guard(lock);
  const std::tm* tm = std::localtime(&seconds);
  if (tm == nullptr) return {};
  return LocalTime{tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_wday, tm->tm_hour,
                   tm->tm_min, tm->tm_sec, static_cast<int>(millis)};
}

std::string formatTraceTimestamp(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d-%02d:%02d:%02d:%03d", t.day, t.hour, t.minute, t.second,
                t.millisecond);
  return text;
}

std::string formatClockText(const LocalTime& t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int weekday = (t.weekday >= 0 && t.weekday < 7) ? t.weekday : 0;
  const int month = (t.month >= 1 && t.month <= 12) ? t.month - 1 : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[weekday], kMonths[month], t.day,
                t.hour, t.minute, t.second, t.year);
  return text;
}

}  // namespace vantrel
