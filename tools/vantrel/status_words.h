#pragma once
// The login status words in words: what `vantrel console` means by each word it sends, for its
// log and for the hints of `vantrel snap`.

#include <cstdint>
#include <string_view>

namespace vantrel::cli {

// Empty for a word the console does not send.
std::string_view consoleMeaning(std::uint32_t word);

// Whether the viewer's tables read the word as something else than the console means by it:
// the viewer keeps its own reading (it is what hosts show), and snap adds the console's.
bool viewerReadsDifferently(std::uint32_t word);

}  // namespace vantrel::cli
