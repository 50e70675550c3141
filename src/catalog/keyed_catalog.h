#pragma once
// A catalogue that answers every lookup with the key itself behind a mark, for shells that find
// the words elsewhere (the tool's built-in English, the browser page's texts) and want to name
// the key a box was for.

#include <optional>
#include <string>
#include <string_view>

#include "catalog/message_catalog.h"

namespace vantrel {

MessageCatalog keyedCatalog();

// The key of a box text that keyedCatalog made, without its language suffix; nothing for a
// fixed text.
std::optional<std::string> catalogKeyOf(std::string_view boxText);

}  // namespace vantrel
