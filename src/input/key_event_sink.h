#pragma once
// Where key events leave the keyboard code: the session implements it over its link.

#include <cstdint>

namespace vantrel {

// Type 3 requests that ask the server to perform a combination the local system would take.
enum class SpecialRequest : std::uint16_t { AltTab = 14, CtrlAltDel = 15 };

class KeyEventSink {
 public:
  virtual ~KeyEventSink() = default;

  // One key event (type 1). True when it reached the link whole.
  virtual bool sendKeyEvent(std::uint32_t keysym, bool down) = 0;
  // One type 3 request with no value. True when it reached the link whole.
  virtual bool sendSpecialRequest(SpecialRequest request) = 0;
};

}  // namespace vantrel
