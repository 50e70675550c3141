#pragma once
// The rules for clipboard text between the viewer and the console, shared by every viewer
// shell. On the wire a text is 8-bit and its lines end in LF alone; the Windows clipboard wants
// CR LF; a clipboard text ends at its first NUL whatever its length says.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

// The most a viewer sends at once, counted after its CRs are removed; the console refuses more.
inline constexpr std::int32_t kMaxClipboardSend = 204800;

// The local clipboard's text as it goes to the console: up to its first NUL, without a single
// CR. Nothing when that is longer than `limit` (no limit when `limit` is 0 or less) or than one
// message can say; such a text is not sent at all rather than cut.
std::optional<std::string> clipboardTextToSend(std::string_view local, std::int32_t limit);

// A text the console sent, as the viewer keeps it: the payload up to its first NUL.
std::string_view receivedClipboardText(std::span<const std::uint8_t> payload);

// Lines ending in CR LF for the Windows clipboard: a CR goes in before every LF, also before
// one that already follows a CR.
std::string withCrLf(std::string_view text);

}  // namespace vantrel
