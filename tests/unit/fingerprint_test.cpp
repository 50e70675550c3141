#include "net/fingerprint.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// The SHA-256 digest of no bytes at all, whose base64 form is widely published.
constexpr Sha256Digest kEmptyDigest = {0xe3, 0xb0, 0xc4, 0x42, 0x98, 0xfc, 0x1c, 0x14, 0x9a, 0xfb, 0xf4,
                                       0xc8, 0x99, 0x6f, 0xb9, 0x24, 0x27, 0xae, 0x41, 0xe4, 0x64, 0x9b,
                                       0x93, 0x4c, 0xa4, 0x95, 0x99, 0x1b, 0x78, 0x52, 0xb8, 0x55};
constexpr const char* kEmptyText = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

TEST(FingerprintTest, PrintsAsSshDoesAndReadsBack) {
  EXPECT_EQ(formatFingerprint(kEmptyDigest), kEmptyText);
  EXPECT_EQ(std::string(kEmptyText).size(), kFingerprintLength);
  Sha256Digest ramp{};
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i * 37 + 255);
  EXPECT_EQ(parseFingerprint(formatFingerprint(ramp)), ramp);
}

TEST(FingerprintTest, PinsAreReadOnlyInTheirOneForm) {
  const std::string body = std::string(kEmptyText).substr(7);
  struct Row { std::string text; bool read; };
  for (const Row& row : std::vector<Row>{
           {"  sha256:" + body + "=\n", true},  // pasted with its padding and a line end
           {body, false},                       // no prefix
           {"SHA1:" + body, false},
           {"SHA256:" + body.substr(1), false},  // cut short
           {"SHA256:" + body + "A", false},
           {"SHA256:" + body.substr(0, 42) + "V", false},  // bits past the digest set
           {"SHA256:" + body.substr(0, 20) + "-" + body.substr(21), false},  // not base64
           {"SHA256:e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", false},  // hex
       }) {
    const std::optional<Sha256Digest> expected = row.read ? std::optional(kEmptyDigest) : std::nullopt;
    EXPECT_EQ(parseFingerprint(row.text), expected) << row.text;
  }
}

}  // namespace
}  // namespace vantrel
