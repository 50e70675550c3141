#include "diag/debug_trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "diag/local_time.h"

namespace vantrel {

DebugTrace& debugTrace() {
  static DebugTrace trace;
  return trace;
}

void DebugTrace::debugPrint(const char* format, ...) {
  if (traceEnabled_ == 0) return;
  if (firstTrace_ != 0) {
    firstTrace_ = 0;
    printText("\n\n" + std::string(80, '*'));
    printText("START AT: " + formatClockText(localTimeNow()) + "\n");
  }
  std::vector<char> text(kFormatBufferSize);
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  if (n < 0) return;
  printText(std::string(text.data(), std::min(static_cast<std::size_t>(n), text.size() - 1)));
}

void DebugTrace::debugHexDump(const char* title, const std::uint8_t* data, std::size_t length) {
  if (traceEnabled_ == 0) return;
  if (firstTrace_ != 0) {
    firstTrace_ = 0;
    printText("Start at : " + formatClockText(localTimeNow()) + "\n");
  }
  std::string out = std::string(title) + "\r\n";
  for (std::size_t offset = 0; offset < length; offset += 16) {
    out += hexDumpRow(data + offset, std::min<std::size_t>(16, length - offset));
    out += "\r\n";
  }
  append(out.data(), out.size());
}

void DebugTrace::debugWriteRaw(const void* data, std::size_t length) {
  if (traceEnabled_ == 0) return;
  append(data, length);
}

std::string DebugTrace::hexDumpRow(const std::uint8_t* data, std::size_t length) {
  std::uint8_t row[16] = {};
  std::copy_n(data, std::min<std::size_t>(length, 16), row);

  std::string hex;
  for (std::size_t i = 0; i < 16; ++i) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X ", row[i]);
    hex += digits;
    if (i == 7) hex += ' ';
  }
  hex.resize(48);  // the space after the last byte is not written

  std::string chars(16, '\0');
  for (std::size_t i = 0; i < 16; ++i) {
    chars[i] = (row[i] == '\r' || row[i] == '\n') ? '\0' : static_cast<char>(row[i]);
  }
  return hex + " | " + chars;
}

void DebugTrace::printText(const std::string& text) {
  const std::string line = text + "\r\n";
  append(line.data(), line.size());
}

void DebugTrace::append(const void* data, std::size_t length) const {
  std::FILE* file = std::fopen(name_.c_str(), "a+b");
  if (file == nullptr) return;
  std::fseek(file, 0, SEEK_END);
  std::fwrite(data, 1, length, file);
  std::fclose(file);
}

}  // namespace vantrel
