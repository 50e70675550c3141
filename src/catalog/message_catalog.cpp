#include "catalog/message_catalog.h"

#include <array>
#include <cstring>

#include "catalog/profile_reader.h"

namespace vantrel {
namespace {

constexpr std::size_t kMaxText = MessageCatalog::kBufferSize - 1;

const char* intoThreadResult(std::string_view text) {
  thread_local std::array<char, MessageCatalog::kBufferSize> result{};
  const std::size_t n = std::min(text.size(), kMaxText);
  std::memcpy(result.data(), text.data(), n);
  result[n] = '\0';
  return result.data();
}

}  // namespace

MessageCatalog::MessageCatalog(std::string_view iniDirectory) : MessageCatalog(iniDirectory, readProfileString) {}

MessageCatalog::MessageCatalog(std::string_view iniDirectory, Reader reader)
    : path_(std::string(iniDirectory) + "\\consoleclient.ini"), reader_(std::move(reader)) {
  path_.resize(std::min(path_.size(), kMaxText));
}

std::string_view MessageCatalog::languageSuffix(std::uint32_t language) {
  switch (language) {
    case 1: return "_jp";
    case 2: return "_tw";
    default: return "_en";
  }
}

std::string MessageCatalog::convertLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out.push_back('\n');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The fixed answers for bad arguments, checked in this order before the file is read.
const char* MessageCatalog::refusal(std::string_view section, std::string_view key) {
  if (section.empty()) return "No Field Text";
  if (key.empty()) return "No Var Name";
  if (section.front() == ' ') return "No Field Text";
  if (key.front() == ' ') return "No Var Name";
  return nullptr;
}

const char* MessageCatalog::lookupText(std::string_view section, std::string_view key,
                                       std::uint32_t language) const {
  if (const char* text = refusal(section, key)) return intoThreadResult(text);
  const std::string suffixed = std::string(key) + std::string(languageSuffix(language));
  return intoThreadResult(convertLineBreaks(read(section, suffixed)));
}

const char* MessageCatalog::lookupPlain(std::string_view section, std::string_view key) const {
  if (const char* text = refusal(section, key)) return intoThreadResult(text);
  return intoThreadResult(read(section, key));
}

std::string MessageCatalog::read(std::string_view section, std::string_view key) const {
  return reader_(section, key.substr(0, kMaxText), "No Text", path_);
}

}  // namespace vantrel
