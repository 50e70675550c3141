#include <cstdio>

#include "catalog/message_box.h"

namespace vantrel {
namespace {

class ConsoleMessageBoxes final : public MessageBoxPort {
 public:
  void show(WindowRef, const std::string& text, const std::string& caption, unsigned) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
};

}  // namespace

MessageBoxPort& systemMessageBoxes() {
  static ConsoleMessageBoxes boxes;
  return boxes;
}

}  // namespace vantrel
