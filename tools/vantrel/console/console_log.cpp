#include "console/console_log.h"

#include <ctime>

namespace vantrel::cli {

std::string isoTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
  const long minutes = offset < 0 ? -offset : offset;
  std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return text;
}

void logLine(std::FILE* out, Priority priority, const std::string& text) {
  std::string lead = journalPriority(out, priority);
  if (lead.empty()) lead = isoTime(std::chrono::system_clock::now()) + " ";
  std::fprintf(out, "%s%s\n", lead.c_str(), text.c_str());
  std::fflush(out);
}

}  // namespace vantrel::cli
