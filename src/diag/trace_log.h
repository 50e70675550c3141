#pragma once
// A developer's trace file: each write opens the file, appends one timestamped line and
// closes it. Nothing in the library writes through it in normal operation.

#include <string>

#include "diag/local_time.h"

namespace vantrel {

class TraceLog {
 public:
  static constexpr const char* kDefaultName = "e:\\log.txt";

  TraceLog() : name_(kDefaultName) {}
  explicit TraceLog(std::string name) : name_(std::move(name)) {}
  virtual ~TraceLog() = default;

  void write(const char* text) const;
  void write(const std::string& text) const;
  void write(const std::string& a, const std::string& b) const;
  void write(const char* text, long long number) const;

  const std::string& name() const { return name_; }

 private:
  void appendLine(const std::string& body) const;

  std::string name_;
};

}  // namespace vantrel
