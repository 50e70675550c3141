#include "toolbar/toolbar_layout.h"

namespace vantrel {

int toolbarX(int parentWidth) { return (parentWidth - kToolbarWidth) / 2; }

ToolbarSpan toolbarSpan(int parentScreenLeft, int toolbarX) {
  return {parentScreenLeft + toolbarX, parentScreenLeft + toolbarX + kToolbarWidth};
}

void runToolbarCommand(int id, ToolbarHost& host) {
  switch (id) {
    case 1:  // Alt+Tab
    case 2:  // Ctrl+Space
    case 3:  // Alt+F4
    case 4:  // Ctrl+Alt+Del
      host.sendSpecialSequence(static_cast<std::uint32_t>(id - 1));
      break;
    case 5:  // New Client
      host.requestSessionEnd();
      break;
    case 7:  // Window/Full
      host.returnToWindowedView();
      break;
    default:  // 6, Virtual Device: nothing at all
      break;
  }
}

}  // namespace vantrel
