#include "catalog/exception.h"

#include "catalog/message_catalog.h"

namespace vantrel {

void Exception::report(MessageBoxPort& boxes, std::atomic<std::uint8_t>& msgBoxShowing,
                       const MessageCatalog& catalog, std::uint32_t language, WindowRef owner) const {
  const std::string caption = catalog.lookupText(MessageCatalog::kSection, "ProjectName", language);
  showMessageBox(boxes, msgBoxShowing, owner, message_, caption, kBoxStyleReport);
}

}  // namespace vantrel
