#pragma once
// The login's two credential fields as the viewer sends them: the user name and the password,
// each zero-padded to its field and scrambled with the fixed key.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrel {

struct CredentialBlocks {
  static constexpr std::size_t kUserFieldSize = 24;
  static constexpr std::size_t kUserMaxLength = 21;
  static constexpr std::size_t kPasswordFieldSize = 264;
  static constexpr std::size_t kPasswordMaxLength = 256;

  std::array<std::uint8_t, kUserFieldSize> user{};
  std::array<std::uint8_t, kPasswordFieldSize> password{};
};

// Text past a field's longest (or past an embedded zero) is cut.
CredentialBlocks scrambledCredentials(std::string_view userName, std::string_view password);

}  // namespace vantrel
