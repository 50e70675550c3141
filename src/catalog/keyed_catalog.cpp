#include "catalog/keyed_catalog.h"

#include <cstdint>

namespace vantrel {
namespace {

constexpr char kKeyMark = '\x1F';

}  // namespace

MessageCatalog keyedCatalog() {
  return MessageCatalog("", [](std::string_view, std::string_view key, std::string_view, const std::string&) {
    return kKeyMark + std::string(key);
  });
}

std::optional<std::string> catalogKeyOf(std::string_view boxText) {
  if (boxText.empty() || boxText.front() != kKeyMark) return std::nullopt;
  std::string key(boxText.substr(1));
  for (const std::uint32_t language : {0u, 1u, 2u}) {
    const std::string_view suffix = MessageCatalog::languageSuffix(language);
    if (key.size() > suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
      key.resize(key.size() - suffix.size());
      break;
    }
  }
  return key;
}

}  // namespace vantrel
