#include <windows.h>

#include "catalog/message_box.h"

namespace vantrel {
namespace {

class Win32MessageBoxes final : public MessageBoxPort {
 public:
  void show(WindowRef owner, const std::string& text, const std::string& caption,
            unsigned style) override {
    MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), style);
  }
};

}  // namespace

MessageBoxPort& systemMessageBoxes() {
  static Win32MessageBoxes boxes;
  return boxes;
}

}  // namespace vantrel
