#include "protocol/credential_cipher.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "protocol/des_tables.h"

namespace vantrel {
namespace {

// Standard DES from the same tables, numbering bits from the most significant end as FIPS 46
// does, with S-box outputs most significant bit first and the final exchange of halves.
// It proves the tables against the FIPS sample and shows the credential cipher is not DES.
std::uint64_t standardDesEncrypt(std::uint64_t key, std::uint64_t block) {
  const auto bit = [](std::uint64_t v, unsigned n, unsigned width) { return (v >> (width - n)) & 1u; };
  std::uint64_t cd = 0;
  for (auto n : des::kPermutedChoice1) cd = (cd << 1) | bit(key, n, 64);
  std::uint32_t c = static_cast<std::uint32_t>(cd >> 28), d = static_cast<std::uint32_t>(cd & 0xFFFFFFF);
  std::array<std::uint64_t, 16> keys{};
  for (std::size_t r = 0; r < 16; ++r) {
    for (unsigned s = 0; s < des::kShifts[r]; ++s) {
      c = ((c << 1) | (c >> 27)) & 0xFFFFFFF;
      d = ((d << 1) | (d >> 27)) & 0xFFFFFFF;
    }
    const std::uint64_t joined = (static_cast<std::uint64_t>(c) << 28) | d;
    for (auto n : des::kPermutedChoice2) keys[r] = (keys[r] << 1) | bit(joined, n, 56);
  }
  std::uint64_t ip = 0;
  for (auto n : des::kInitialPermutation) ip = (ip << 1) | bit(block, n, 64);
  std::uint32_t l = static_cast<std::uint32_t>(ip >> 32), r = static_cast<std::uint32_t>(ip);
  for (std::size_t round = 0; round < 16; ++round) {
    std::uint64_t e = 0;
    for (auto n : des::kExpansion) e = (e << 1) | bit(r, n, 32);
    e ^= keys[round];
    std::uint32_t s = 0;
    for (unsigned j = 0; j < 8; ++j) {
      const unsigned six = static_cast<unsigned>(e >> (42 - 6 * j)) & 63u;
      const unsigned row = ((six >> 4) & 2u) | (six & 1u);
      const unsigned column = (six >> 1) & 15u;
      s = (s << 4) | des::kSBoxes[j][row][column];
    }
    std::uint32_t f = 0;
    for (auto n : des::kRoundPermutation) f = (f << 1) | static_cast<std::uint32_t>(bit(s, n, 32));
    const std::uint32_t next = l ^ f;
    l = r;
    r = next;
  }
  const std::uint64_t preoutput = (static_cast<std::uint64_t>(r) << 32) | l;
  std::uint64_t out = 0;
  for (auto n : des::kFinalPermutation) out = (out << 1) | bit(preoutput, n, 64);
  return out;
}

std::array<std::uint8_t, 8> bigEndianBytes(std::uint64_t v) {
  std::array<std::uint8_t, 8> b{};
  for (int i = 7; i >= 0; --i, v >>= 8) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
  return b;
}

std::vector<std::uint8_t> patterned(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return v;
}

// The tables give the FIPS 46 sample, and the credential cipher's single-key pass is not DES.
TEST(CredentialCipher, TablesReproduceTheFips46SampleThatTheSingleKeyPassDoesNot) {
  EXPECT_EQ(standardDesEncrypt(0x133457799BBCDFF1, 0x0123456789ABCDEF), 0x85E813540F0AB405u);
  const auto key = bigEndianBytes(0x133457799BBCDFF1);
  const auto plain = bigEndianBytes(0x0123456789ABCDEF);
  std::array<std::uint8_t, 8> out{};
  ASSERT_TRUE(CredentialCipher().cipherRun(out.data(), plain.data(), 8, reinterpret_cast<const char*>(key.data()), 8,
                                           CredentialCipher::Direction::Encrypt));
  EXPECT_NE(out, bigEndianBytes(0x85E813540F0AB405));
}

TEST(CredentialCipher, ScrambleAndUnscrambleAreInversesOnTheCredentialAreas) {
  for (std::size_t size : {24u, 264u}) {
    const auto plain = patterned(size);
    std::vector<std::uint8_t> sent(size), back(size);
    CredentialCipher cipher;
    cipher.scramble(plain.data(), sent.data(), size);
    EXPECT_NE(sent, plain);
    cipher.unscramble(sent.data(), back.data(), size);
    EXPECT_EQ(back, plain) << size;

    cipher.unscramble(plain.data(), sent.data(), size);
    cipher.scramble(sent.data(), back.data(), size);
    EXPECT_EQ(back, plain) << size;
  }
}

TEST(CredentialCipher, BlocksAreIndependentAndMayBeProcessedInPlace) {
  auto area = patterned(24);
  std::memcpy(area.data() + 16, area.data(), 8);  // third block repeats the first
  std::vector<std::uint8_t> out(24);
  CredentialCipher cipher;
  cipher.scramble(area.data(), out.data(), 24);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, out.begin() + 16));

  cipher.scramble(area.data(), area.data(), 24);
  EXPECT_EQ(area, out);
}

TEST(CredentialCipher, LengthIsRoundedToWholeBlocksAndZeroTouchesNothing) {
  CredentialCipher cipher;
  const char* key = CredentialCipher::kFixedKey;
  std::array<std::uint8_t, 16> in{}, out{};
  out.fill(0xAA);
  EXPECT_FALSE(cipher.cipherRun(out.data(), in.data(), 0, key, 16, CredentialCipher::Direction::Encrypt));
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](auto b) { return b == 0xAA; }));

  std::array<std::uint8_t, 16> full{};
  ASSERT_TRUE(cipher.cipherRun(full.data(), in.data(), 8, key, 16, CredentialCipher::Direction::Encrypt));
  for (std::size_t length = 1; length <= 8; ++length) {
    out.fill(0xAA);
    ASSERT_TRUE(cipher.cipherRun(out.data(), in.data(), length, key, 16, CredentialCipher::Direction::Encrypt));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8, full.begin())) << length;
    EXPECT_EQ(out[8], 0xAA) << "second block untouched for length " << length;
  }
  EXPECT_FALSE(cipher.cipherRun(nullptr, in.data(), 8, key, 16, CredentialCipher::Direction::Encrypt));
  EXPECT_FALSE(cipher.cipherRun(out.data(), nullptr, 8, key, 16, CredentialCipher::Direction::Encrypt));
  EXPECT_FALSE(cipher.cipherRun(out.data(), in.data(), 8, nullptr, 16, CredentialCipher::Direction::Encrypt));
}

std::array<std::uint8_t, 8> runWithKey(const char* key, std::int32_t length) {
  const auto plain = patterned(8);
  std::array<std::uint8_t, 8> out{};
  CredentialCipher cipher;
  EXPECT_TRUE(cipher.cipherRun(out.data(), plain.data(), 8, key, length, CredentialCipher::Direction::Encrypt));
  return out;
}

TEST(CredentialCipher, KeyLengthSelectsSingleOrTriplePass) {
  // Eight bytes or fewer: one pass with the first schedule, later key bytes play no part.
  EXPECT_EQ(runWithKey("ABCDEFGH", 8), runWithKey("ABCDEFGHxyz", 8));
  // A short two-part key is padded with zero bytes to 16.
  const char padded[17] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(runWithKey("ABCDEFGHIJ", 10), runWithKey(padded, 16));
  EXPECT_NE(runWithKey("ABCDEFGHIJ", 10), runWithKey("ABCDEFGH", 8));
  // Bytes beyond the sixteenth are ignored.
  EXPECT_EQ(runWithKey("QZ4%&ab(+PK71^_wEXTRA", 21), runWithKey(CredentialCipher::kFixedKey, 16));
  // Sixteen equal halves make encrypt-decrypt-encrypt collapse to one pass.
  EXPECT_EQ(runWithKey("ABCDEFGHABCDEFGH", 16), runWithKey("ABCDEFGH", 8));
}

TEST(CredentialCipher, SetCipherKeyRefusesLengthsFrom256AndKeepsTheOldKey) {
  const auto plain = patterned(8);
  CredentialCipher reference, changed;
  std::array<std::uint8_t, 8> expected{}, actual{};
  reference.scramble(plain.data(), expected.data(), 8);

  const std::string longKey(300, 'k');
  EXPECT_FALSE(changed.setCipherKey(longKey.c_str(), 256));
  changed.scramble(plain.data(), actual.data(), 8);
  EXPECT_EQ(actual, expected);

  EXPECT_TRUE(changed.setCipherKey("ABCDEFGH", 8));
  changed.scramble(plain.data(), actual.data(), 8);
  EXPECT_NE(actual, expected);
  std::array<std::uint8_t, 8> direct{};
  reference.cipherRun(direct.data(), plain.data(), 8, "ABCDEFGH", 8, CredentialCipher::Direction::Decrypt);
  EXPECT_EQ(actual, direct);
}

}  // namespace
}  // namespace vantrel
