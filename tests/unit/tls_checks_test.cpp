#include "net/tls_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

constexpr const char* kPin = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

// The checks of what the console sends: the first bytes tell a console without TLS apart at
// once, and no record header can make the reader wait for, or keep, more than TLS allows.
TEST(TlsChecksTest, RecordHeadersOutsideTlsAreRefusedWithTheirReason) {
  struct Row {
    std::vector<std::uint8_t> header;
    std::size_t length;  // 0: refused
    std::string reasonNames;
  };
  for (const Row& row : std::vector<Row>{
           {{0x16, 3, 1, 0x02, 0x00}, 512, ""},
           {{0x17, 3, 3, 0x48, 0x00}, kTlsMaxRecordBody, ""},
           {{0x17, 3, 3, 0x48, 0x01}, 0, "18433 bytes"},
           {{0x17, 3, 3, 0xFF, 0xFF}, 0, "65535 bytes"},
           {{0x6B, 0, 0, 0, 0x16}, 0, "does not speak TLS"},  // a clear console's status word 107
           {{0x80, 0x2E, 0x01, 0x03, 0x01}, 0, "0x80"},  // an SSL 2 hello
           {{0x16, 0x02, 0x00, 0x00, 0x10}, 0, "0x02.0x00"},
       }) {
    const auto result = tlsRecordBodyLength(std::span<const std::uint8_t, 5>(row.header.data(), 5));
    if (row.length != 0) {
      EXPECT_EQ(std::get<std::size_t>(result), row.length);
      EXPECT_FALSE(checkTlsRecordType(row.header[0]));
    } else {
      ASSERT_TRUE(std::holds_alternative<std::string>(result)) << row.reasonNames;
      EXPECT_NE(std::get<std::string>(result).find(row.reasonNames), std::string::npos) << std::get<std::string>(result);
    }
  }
}

TEST(TlsChecksTest, AKeyOtherThanThePinnedOneIsRefusedNamingBoth) {
  const Sha256Digest pin = *parseFingerprint(kPin);
  Sha256Digest other = pin;
  other[31] ^= 0x10;
  EXPECT_FALSE(checkPinnedKey(pin, pin));
  const auto refusal = checkPinnedKey(pin, other);
  ASSERT_TRUE(refusal);
  EXPECT_NE(refusal->find(formatFingerprint(other)), std::string::npos) << *refusal;
  EXPECT_NE(refusal->find(kPin), std::string::npos) << *refusal;
}

}  // namespace
}  // namespace vantrel
