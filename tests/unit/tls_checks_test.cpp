#include "net/tls_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

// Bytes as they come in, from a record's start: the first byte tells a console without TLS apart
// at once, and no header, whole or begun, in any record can announce more than TLS allows.
TEST(TlsChecksTest, RecordsOutsideTlsAreRefusedWithTheirReasonAsSoonAsTheirHeaderIsIn) {
  const auto record = [](std::uint8_t type, std::size_t length) {
    std::vector<std::uint8_t> bytes = {type, 3, 3, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length)};
    bytes.resize(5 + length, 0);
    return bytes;
  };
  const auto join = [](std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Row {
    std::vector<std::uint8_t> received;
    std::string reasonNames;  // empty: nothing wrong so far
  };
  for (const Row& row : std::vector<Row>{
           {join(record(0x16, 512), record(0x17, kTlsMaxRecordBody)), ""},
           {join(record(0x16, 512), {0x17, 3}), ""},  // a header begun
           {{0x17, 3, 3, 0x48, 0x01}, "18433 bytes"},
           {join(record(0x16, 40), {0x17, 3, 3, 0xFF, 0xFF}), "65535 bytes"},
           {{0x6B, 0, 0, 0}, "does not speak TLS"},  // a clear console's status word 107
           {{0x80, 0x2E, 0x01, 0x03, 0x01}, "0x80"},  // an SSL 2 hello
           {{0x16, 0x02, 0x00, 0x00, 0x10}, "0x02.0x00"},
       }) {
    const auto refusal = checkTlsRecords(row.received);
    if (row.reasonNames.empty()) {
      EXPECT_FALSE(refusal) << *refusal;
    } else {
      ASSERT_TRUE(refusal) << row.reasonNames;
      EXPECT_NE(refusal->find(row.reasonNames), std::string::npos) << *refusal;
    }
  }
}

}  // namespace
}  // namespace vantrel
