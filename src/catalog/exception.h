#pragma once
// The library's own exception. It is caught inside the keyboard path, which reports it in a
// box captioned with the catalogue's "ProjectName" text and then closes the viewer.

#include <atomic>
#include <cstdint>
#include <string>

#include "catalog/message_box.h"

namespace vantrel {

class MessageCatalog;

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;

  const std::string& message() const { return message_; }

  void report(MessageBoxPort& boxes, std::atomic<std::uint8_t>& msgBoxShowing,
              const MessageCatalog& catalog, std::uint32_t language, WindowRef owner) const;

 private:
  std::string message_;
};

}  // namespace vantrel
