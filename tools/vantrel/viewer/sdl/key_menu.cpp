#include "viewer/sdl/key_menu.h"

namespace vantrel::cli {

std::vector<MenuItem> keyMenuItems(bool fullScreen) {
  std::vector<MenuItem> items = {{MenuAction::CtrlAltDel, "Ctrl+Alt+Del"},
                                 {MenuAction::AltTab, "Alt+Tab"},
                                 {MenuAction::CtrlSpace, "Ctrl+Space"},
                                 {MenuAction::AltF4, "Alt+F4"}};
  if (fullScreen) items.push_back({MenuAction::LeaveFullScreen, "Leave full screen"});
  items.push_back({MenuAction::Disconnect, "Disconnect"});
  return items;
}

std::optional<SpecialSequence> sequenceOf(MenuAction action) {
  switch (action) {
    case MenuAction::CtrlAltDel:
      return SpecialSequence::CtrlAltDel;
    case MenuAction::AltTab:
      return SpecialSequence::AltTab;
    case MenuAction::CtrlSpace:
      return SpecialSequence::CtrlSpace;
    case MenuAction::AltF4:
      return SpecialSequence::AltF4;
    case MenuAction::LeaveFullScreen:
    case MenuAction::Disconnect:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace vantrel::cli
