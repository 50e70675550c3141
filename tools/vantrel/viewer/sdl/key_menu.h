#pragma once
// The viewer's key menu (opened with F8): the combinations the local desktop keeps for itself,
// sent to the console instead, and the window's own commands.

#include <optional>
#include <vector>

#include "input/special_keys.h"

namespace vantrel::cli {

enum class MenuAction { CtrlAltDel, AltTab, CtrlSpace, AltF4, LeaveFullScreen, Disconnect };

struct MenuItem {
  MenuAction action;
  const char* label;
};

// In menu order; "Leave full screen" only while the view is full screen.
std::vector<MenuItem> keyMenuItems(bool fullScreen);

// The special sequence an item sends, or nothing for the window's commands.
std::optional<SpecialSequence> sequenceOf(MenuAction action);

}  // namespace vantrel::cli
