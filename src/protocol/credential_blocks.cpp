#include "protocol/credential_blocks.h"

#include <algorithm>
#include <cstring>

#include "protocol/credential_cipher.h"

namespace vantrel {
namespace {

template <std::size_t Size>
std::array<std::uint8_t, Size> scrambledField(CredentialCipher& cipher, std::string_view text, std::size_t maxLength) {
  std::array<std::uint8_t, Size> plain{};
  const std::size_t length = std::min({text.find('\0'), text.size(), maxLength});
  std::memcpy(plain.data(), text.data(), length);
  std::array<std::uint8_t, Size> out{};
  cipher.scramble(plain.data(), out.data(), Size);
  return out;
}

}  // namespace

CredentialBlocks scrambledCredentials(std::string_view userName, std::string_view password) {
  CredentialCipher cipher;
  CredentialBlocks blocks;
  blocks.user = scrambledField<CredentialBlocks::kUserFieldSize>(cipher, userName, CredentialBlocks::kUserMaxLength);
  blocks.password =
      scrambledField<CredentialBlocks::kPasswordFieldSize>(cipher, password, CredentialBlocks::kPasswordMaxLength);
  return blocks;
}

}  // namespace vantrel
