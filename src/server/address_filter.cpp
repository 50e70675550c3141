#include "server/address_filter.h"

#include <algorithm>
#include <array>

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

bool entryMatches(std::string_view entry, std::uint32_t peer) {
  if (entry.find('*') != std::string_view::npos) {
    const auto lower = parseAddress(replaceAll(entry, '*', '0'));
    const auto upper = parseAddress(replaceAll(entry, '*', '>'));
    return lower != 0 && upper != 0 && lower <= peer && peer <= upper;
  }
  if (const auto dash = entry.find('-'); dash != std::string_view::npos) {
    const auto a = parseAddress(entry.substr(0, std::min(dash, kMaxBoundLength)));
    const auto b = parseAddress(entry.substr(dash + 1, kMaxBoundLength));
    return a != 0 && b != 0 && std::min(a, b) <= peer && peer <= std::max(a, b);
  }
  const auto single = parseAddress(entry);
  return single != 0 && single == peer;
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

  const std::uint32_t peer = parseAddress(address);
  if (peer == 0) return false;

  std::string_view rest = filterText;
  for (auto end = rest.find(';'); end != std::string_view::npos; end = rest.find(';')) {
    const auto entry = rest.substr(0, std::min(end, kMaxEntryLength));
    rest.remove_prefix(end + 1);
    if (!entry.empty() && entryMatches(entry, peer)) return true;
  }
  return false;
}

}  // namespace vantrel
