#include "server/address_filter.h"

#include <algorithm>
#include <array>
#include <optional>

namespace vantrel {
namespace {

constexpr std::size_t kMaxEntryLength = 31;
constexpr std::size_t kMaxBoundLength = 15;
constexpr std::size_t kMaxOctetLength = 3;

// Reads a decimal integer the way the C library's atoi does: leading blanks, a sign, digits
// up to the first other character. Octet texts are at most three characters, so no overflow.
std::int32_t readDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

std::uint32_t octetValue(std::string_view octet) {
  octet = octet.substr(0, kMaxOctetLength);
  if (!octet.empty() && octet.front() == '>') return 255;
  return static_cast<std::uint32_t>(readDecimal(octet));
}

std::string replaceAll(std::string_view text, char from, char to) {
  std::string out(text);
  std::replace(out.begin(), out.end(), from, to);
  return out;
}

// The addresses an entry covers, as the responder reads it; nothing when a part does not parse.
struct Bounds {
  std::uint32_t lower;
  std::uint32_t upper;
  bool operator==(const Bounds&) const = default;
};

std::optional<Bounds> entryBounds(std::string_view entry) {
  if (entry.find('*') != std::string_view::npos) {
    const auto lower = parseAddress(replaceAll(entry, '*', '0'));
    const auto upper = parseAddress(replaceAll(entry, '*', '>'));
    if (lower == 0 || upper == 0) return std::nullopt;
    return Bounds{lower, upper};
  }
  if (const auto dash = entry.find('-'); dash != std::string_view::npos) {
    const auto a = parseAddress(entry.substr(0, std::min(dash, kMaxBoundLength)));
    const auto b = parseAddress(entry.substr(dash + 1, kMaxBoundLength));
    if (a == 0 || b == 0) return std::nullopt;
    return Bounds{std::min(a, b), std::max(a, b)};
  }
  const auto single = parseAddress(entry);
  if (single == 0) return std::nullopt;
  return Bounds{single, single};
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A dotted address written the usual way, each octet 0 to 255 (with `star`, '*' is an octet
// too): its lowest and highest value.
std::optional<Bounds> strictAddress(std::string_view text, bool star) {
  Bounds bounds{0, 0};
  for (int octet = 0; octet < 4; ++octet) {
    const auto dot = text.find('.');
    if ((octet < 3) == (dot == std::string_view::npos)) return std::nullopt;
    const auto part = text.substr(0, dot);
    text.remove_prefix(octet < 3 ? dot + 1 : text.size());
    std::uint32_t low = 0, high = 255;
    if (!(star && part == "*")) {
      if (part.empty() || part.size() > kMaxOctetLength ||
          part.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
      }
      low = high = static_cast<std::uint32_t>(readDecimal(part));
      if (low > 255) return std::nullopt;
    }
    bounds = {bounds.lower * 256 + low, bounds.upper * 256 + high};
  }
  return bounds;
}

// The addresses the entry covers as a reader of the list would take them.
std::optional<Bounds> writtenBounds(std::string_view entry) {
  entry = trimmed(entry);
  std::optional<Bounds> bounds;
  if (entry.find('*') != std::string_view::npos) {
    bounds = strictAddress(entry, true);
  } else if (const auto dash = entry.find('-'); dash != std::string_view::npos) {
    const auto a = strictAddress(trimmed(entry.substr(0, dash)), false);
    const auto b = strictAddress(trimmed(entry.substr(dash + 1)), false);
    if (a && b) bounds = Bounds{std::min(a->lower, b->lower), std::max(a->lower, b->lower)};
  } else {
    bounds = strictAddress(entry, false);
  }
  // The responder reads 0.0.0.0 as 1 (0 marks what does not parse); no peer has either.
  if (bounds) bounds->lower = std::max(bounds->lower, 1u), bounds->upper = std::max(bounds->upper, 1u);
  return bounds;
}

// Calls `visit` with each entry of the list and the number of its line.
template <typename Visit>
void forEachEntry(std::string_view text, Visit visit) {
  std::size_t line = 1, start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ';' && text[i] != '\n' && text[i] != '\r') continue;
    if (i > start) visit(text.substr(start, i - start), line);
    if (text[i] == '\n') ++line;
    start = i + 1;
  }
}

}  // namespace

std::uint32_t parseAddress(std::string_view text) {
  std::array<std::size_t, 3> dots{};
  std::size_t found = 0;
  for (std::size_t i = 0; i < text.size() && found < dots.size(); ++i) {
    if (text[i] == '.') dots[found++] = i;
  }
  if (text.empty() || found < dots.size()) return 0;

  const std::array<std::string_view, 4> octets = {
      text.substr(0, dots[0]), text.substr(dots[0] + 1, dots[1] - dots[0] - 1),
      text.substr(dots[1] + 1, dots[2] - dots[1] - 1), text.substr(dots[2] + 1)};
  std::uint32_t value = 0;
  for (const auto octet : octets) value = value * 256u + octetValue(octet);  // modulo 2^32
  return value == 0 ? 1 : value;
}

bool isAddressAllowed(std::string& filterText, std::string_view address) {
  std::replace(filterText.begin(), filterText.end(), '\n', ';');
  std::replace(filterText.begin(), filterText.end(), '\r', ';');

  // An IPv6 peer matches no entry, even one whose text ends in a dotted part (::1.2.3.4).
  if (address.find(':') != std::string_view::npos) return false;
  const std::uint32_t peer = parseAddress(address);
  if (peer == 0) return false;

  std::string_view rest = filterText;
  for (auto end = rest.find(';'); end != std::string_view::npos; end = rest.find(';')) {
    const auto entry = rest.substr(0, std::min(end, kMaxEntryLength));
    rest.remove_prefix(end + 1);
    if (entry.empty()) continue;
    if (const auto bounds = entryBounds(entry); bounds && bounds->lower <= peer && peer <= bounds->upper) return true;
  }
  return false;
}

std::vector<AllowListEntry> misreadAllowEntries(std::string_view filterText) {
  std::vector<AllowListEntry> misread;
  forEachEntry(filterText, [&](std::string_view entry, std::size_t line) {
    const auto read = entryBounds(entry.substr(0, kMaxEntryLength));
    if (!read || read != writtenBounds(entry)) misread.push_back({line, std::string(entry)});
  });
  return misread;
}

}  // namespace vantrel
