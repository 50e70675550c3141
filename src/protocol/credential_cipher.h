#pragma once
// The block cipher of the login's credential blocks. It is built from the DES tables but
// numbers bits from the least significant end of each byte, places S-box outputs least
// significant bit first and does not exchange the halves at the end, so a standard DES
// library gives other bytes. Both ends of the login use the fixed key below.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel {

class CredentialCipher {
 public:
  enum class Direction { Encrypt, Decrypt };

  static constexpr const char* kFixedKey = "QZ4%&ab(+PK71^_w";
  static constexpr std::size_t kKeyTextSize = 256;

  CredentialCipher();
  virtual ~CredentialCipher() = default;

  // The viewer's operation (decrypt-encrypt-decrypt with the fixed key). `length` is rounded
  // up to whole 8-byte blocks, and both buffers must hold the rounded length.
  void scramble(const std::uint8_t* input, std::uint8_t* output, std::size_t length);
  // The responder's operation, the exact inverse of scramble.
  void unscramble(const std::uint8_t* input, std::uint8_t* output, std::size_t length);

  // False for missing buffers or key, or when the rounded length is 0. Keys longer than 8 bytes
  // select the two-key triple pass; bytes beyond 16 are ignored. Input and output may alias.
  bool cipherRun(std::uint8_t* output, const std::uint8_t* input, std::size_t length,
                 const char* key, std::int32_t keyLength, Direction direction);

  // False (old key kept) when length is 256 or more or negative.
  bool setCipherKey(const char* text, std::int32_t length);

  static std::size_t roundedLength(std::size_t length) { return (length + 7) & ~std::size_t{7}; }

 private:
  using RoundKey = std::array<std::uint8_t, 48>;
  using Schedule = std::array<RoundKey, 16>;

  static Schedule buildSchedule(const std::uint8_t* keyBytes);
  static void cipherBlock(const Schedule& schedule, Direction direction, const std::uint8_t* in,
                          std::uint8_t* out);

  Schedule schedule1_{};
  Schedule schedule2_{};
  bool triple_ = false;
  std::array<std::uint8_t, 16> keyMaterial_{};
  std::int32_t keyLength_ = 0;
  std::array<char, kKeyTextSize> keyText_{};
};

}  // namespace vantrel
