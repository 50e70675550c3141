#pragma once
// Text from the network on the terminal: control characters could move the cursor, retitle the
// window or worse, so each becomes '?'.

#include <string>
#include <string_view>

namespace vantrel::cli {

// Masks the C0 controls, DEL, and the C1 controls in their UTF-8 form (C2 80 to C2 9F), which
// terminals also obey. Other bytes, those of 8-bit code pages included, pass unchanged.
std::string printableText(std::string_view text);

}  // namespace vantrel::cli
