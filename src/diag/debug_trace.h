#pragma once
// The developer's debug file. Every operation does nothing while tracing is disabled; the
// first print or dump of a run writes a start banner. Nothing in the library calls it in
// normal operation.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

class DebugTrace {
 public:
  static constexpr const char* kDefaultName = "c:\\jdebug.txt";
  static constexpr std::size_t kFormatBufferSize = 4096;

  explicit DebugTrace(std::string name = kDefaultName) : name_(std::move(name)) {}
  virtual ~DebugTrace() = default;

  void debugPrint(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void debugHexDump(const char* title, const std::uint8_t* data, std::size_t length);
  void debugWriteRaw(const void* data, std::size_t length);

  void setEnabled(bool enabled) { traceEnabled_ = enabled ? 1 : 0; }

  // One row of a hex dump: 16 bytes (a short row padded with zero bytes), without line end.
  static std::string hexDumpRow(const std::uint8_t* data, std::size_t length);

 private:
  void printText(const std::string& text);
  void append(const void* data, std::size_t length) const;

  std::string name_;
  std::int32_t traceEnabled_ = 1;
  std::int32_t firstTrace_ = 1;
};

// The process's debug trace, on its fixed file name.
DebugTrace& debugTrace();

}  // namespace vantrel
