#include "viewer/view_options.h"

#include <string_view>

namespace vantrel {

ViewOptions viewOptions(const MessageCatalog& catalog) {
  const auto on = [&](const char* key) { return std::string_view(catalog.lookupPlain("VIEW", key)) == "1"; };
  return {on("AnyLocalScreen"), on("ScaleToFit")};
}

}  // namespace vantrel
