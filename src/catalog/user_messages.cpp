#include "catalog/user_messages.h"

namespace vantrel {

void UserMessages::showCatalogBox(WindowRef owner, std::string_view key, Showing showing) {
  showText(owner, catalog ? catalog->lookupText(MessageCatalog::kSection, key, language) : "No Text", showing);
}

void UserMessages::showText(WindowRef owner, std::string_view text, Showing showing) {
  if (showing == Showing::Raise) {
    showMessageBox(*boxes, msgBoxShowing, owner, text, caption, kBoxStyleError);
  } else {
    boxes->show(owner, std::string(text), caption, kBoxStyleError);
  }
}

}  // namespace vantrel
