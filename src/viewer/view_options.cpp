#include "viewer/view_options.h"

#include <string_view>

namespace vantrel {

bool anyLocalScreenEnabled(const MessageCatalog& catalog) {
  return std::string_view(catalog.lookupPlain("VIEW", "AnyLocalScreen")) == "1";
}

}  // namespace vantrel
