#include "server/client_lock_table.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Failure = ClientLockTable::Failure;
constexpr std::uint32_t kLock = ClientLockTable::kLockMillis;

TEST(ClientLockTable, ThreeFailuresLockForFifteenMinutes) {
  ClientLockTable table;
  const std::string key = "00-11-22-33-44-55";
  std::uint32_t now = 1000;
  EXPECT_EQ(table.recordFailure(table.find(key), key, now), Failure::Rejected);
  EXPECT_EQ(table.recordFailure(table.find(key), key, now), Failure::Rejected);
  EXPECT_EQ(table.recordFailure(table.find(key), key, now), Failure::ThirdFailure);
  const auto index = table.find(key);
  ASSERT_EQ(index, 0);
  EXPECT_EQ(table.entry(0).lockTick, now);
  EXPECT_TRUE(table.isLocked(index, now + kLock - 1));
  EXPECT_FALSE(table.isLocked(index, now + kLock));

  // After the lock has run out, a failure counts as the first of a new run.
  EXPECT_EQ(table.recordFailure(index, key, now + kLock), Failure::Rejected);
  EXPECT_EQ(table.entry(0).failures, 1);
}

TEST(ClientLockTable, LockSurvivesTheTickCounterWrapping) {
  ClientLockTable table;
  const std::uint32_t nearWrap = 0xFFFFFF00u;
  for (int i = 0; i < 3; ++i) table.recordFailure(table.find("k"), "k", nearWrap);
  EXPECT_TRUE(table.isLocked(0, nearWrap + 0x200u));  // wrapped past zero, 512 ms later
  EXPECT_FALSE(table.isLocked(0, nearWrap + kLock));
}

TEST(ClientLockTable, SuccessStartsTheCountAgain) {
  ClientLockTable table;
  table.recordFailure(-1, "10.0.0.7", 5);
  table.recordFailure(table.find("10.0.0.7"), "10.0.0.7", 5);
  table.recordSuccess(table.find("10.0.0.7"));
  EXPECT_EQ(table.entry(0).failures, 0);
  EXPECT_EQ(table.recordFailure(table.find("10.0.0.7"), "10.0.0.7", 6), Failure::Rejected);
  EXPECT_EQ(table.entry(0).failures, 1);
  table.recordSuccess(-1);  // a client without an entry gets none
  EXPECT_EQ(table.count(), 1u);
}

TEST(ClientLockTable, FullTableStopsCountingNewClients) {
  ClientLockTable table;
  for (int i = 0; i < 100; ++i) {
    const std::string key = "10.0.1." + std::to_string(i);
    table.recordFailure(table.find(key), key, 0);
  }
  EXPECT_EQ(table.count(), 100u);
  for (int attempt = 0; attempt < 5; ++attempt) {
    EXPECT_EQ(table.recordFailure(table.find("10.9.9.9"), "10.9.9.9", 0), Failure::Rejected);
  }
  EXPECT_EQ(table.find("10.9.9.9"), -1);
  EXPECT_EQ(table.count(), 100u);
}

TEST(ClientLockTable, KeysCompareExactlyAndAreCutToTwentyCharacters) {
  ClientLockTable table;
  table.recordFailure(-1, "AA-BB-CC-DD-EE-FF", 0);
  EXPECT_EQ(table.find("aa-bb-cc-dd-ee-ff"), -1);
  const std::string longKey(64, 'x');
  table.recordFailure(-1, longKey, 0);
  EXPECT_EQ(std::string(table.entry(1).lockKey.data()), std::string(20, 'x'));
  EXPECT_EQ(table.find(longKey), 1);
}

}  // namespace
}  // namespace vantrel
