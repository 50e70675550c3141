#pragma once
// The login status words in words: what `vantrel console` means by each word it sends, for its
// log and for what the viewers say of a refusal.

#include <cstdint>
#include <string_view>

namespace vantrel::cli {

// Empty for a word the console does not send.
std::string_view consoleMeaning(std::uint32_t word);

}  // namespace vantrel::cli
