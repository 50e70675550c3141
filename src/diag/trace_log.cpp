#include "diag/trace_log.h"

#include <cstdio>

namespace vantrel {

void TraceLog::write(const char* text) const { appendLine(std::string("==>") + text + "<=="); }

void TraceLog::write(const std::string& text) const { appendLine("==>" + text + "<=="); }

void TraceLog::write(const std::string& a, const std::string& b) const {
  appendLine("==>" + a + "==>" + b + "<==");
}

void TraceLog::write(const char* text, long long number) const {
  appendLine(std::string("==>") + text + "==>" + std::to_string(number) + "<==");
}

void TraceLog::appendLine(const std::string& body) const {
  // Lines end in CR LF on every platform, as a Windows text file would.
  const std::string line = formatTraceTimestamp(localTimeNow()) + body + "\r\n";
  // Append mode creates the file when it is missing; any failure drops the line.
  std::FILE* file = std::fopen(name_.c_str(), "ab");
  if (file == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fclose(file);
}

}  // namespace vantrel
