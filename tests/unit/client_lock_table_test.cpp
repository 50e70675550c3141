#include "server/client_lock_table.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using Failure = ClientLockTable::Failure;
constexpr std::uint32_t kLock = ClientLockTable::kLockMillis;

void failTimes(ClientLockTable& table, const std::string& key, int times, std::uint32_t now = 0) {
  for (int i = 0; i < times; ++i) table.recordFailure(key, now);
}

TEST(ClientLockTable, ThreeFailuresLockForFifteenMinutes) {
  ClientLockTable table;
  const std::string key = "00-11-22-33-44-55";
  std::uint32_t now = 1000;
  EXPECT_EQ(table.recordFailure(key, now), Failure::Rejected);
  EXPECT_EQ(table.recordFailure(key, now), Failure::Rejected);
  EXPECT_EQ(table.recordFailure(key, now), Failure::ThirdFailure);
  EXPECT_EQ(table.entry(0).lockTick, now);
  EXPECT_TRUE(table.isLocked(key, now + kLock - 1));
  EXPECT_FALSE(table.isLocked(key, now + kLock));

  // A failure while locked (a login that was already under way) leaves the lock as it was.
  EXPECT_EQ(table.recordFailure(key, now + 10), Failure::ThirdFailure);
  EXPECT_EQ(table.entry(0).lockTick, now);
  EXPECT_TRUE(table.isLocked(key, now + kLock - 1));

  // After the lock has run out, a failure counts as the first of a new run.
  EXPECT_EQ(table.recordFailure(key, now + kLock), Failure::Rejected);
  EXPECT_EQ(table.entry(0).failures, 1);
}

TEST(ClientLockTable, LockSurvivesTheTickCounterWrapping) {
  ClientLockTable table;
  const std::uint32_t nearWrap = 0xFFFFFF00u;
  failTimes(table, "k", 3, nearWrap);
  EXPECT_TRUE(table.isLocked("k", nearWrap + 0x200u));  // wrapped past zero, 512 ms later
  EXPECT_FALSE(table.isLocked("k", nearWrap + kLock));
}

TEST(ClientLockTable, SuccessStartsTheCountAgain) {
  ClientLockTable table;
  failTimes(table, "10.0.0.7", 2);
  table.recordSuccess("10.0.0.7");
  EXPECT_EQ(table.entry(0).failures, 0);
  EXPECT_EQ(table.recordFailure("10.0.0.7", 6), Failure::Rejected);
  EXPECT_EQ(table.entry(0).failures, 1);
  table.recordSuccess("10.0.0.8");  // a client without an entry gets none
  EXPECT_EQ(table.count(), 1u);
}

// A full table makes room by dropping its oldest entry that is not locked, so a new client is
// still locked after three failures; locked entries are never dropped.
TEST(ClientLockTable, FullTableDropsItsOldestUnlockedEntry) {
  const auto key = [](int i) { return "10.0.1." + std::to_string(i); };
  struct Row {
    int locked;  // the first this many entries are locked
    bool newClientLocked;
  };
  for (const Row row : {Row{0, true}, Row{3, true}, Row{100, false}}) {
    SCOPED_TRACE(row.locked);
    ClientLockTable table;
    for (int i = 0; i < 100; ++i) failTimes(table, key(i), i < row.locked ? 3 : 1);
    failTimes(table, "10.9.9.9", 3, 5);
    EXPECT_EQ(table.isLocked("10.9.9.9", 5), row.newClientLocked);
    EXPECT_EQ(table.count(), 100u);
    for (int i = 0; i < row.locked; ++i) EXPECT_TRUE(table.isLocked(key(i), 5)) << key(i);
    if (row.newClientLocked) {
      EXPECT_EQ(table.find(key(row.locked)), -1);  // the oldest unlocked one went
    }
  }
}

TEST(ClientLockTable, KeysCompareExactlyAndAreCutToTwentyCharacters) {
  ClientLockTable table;
  table.recordFailure("AA-BB-CC-DD-EE-FF", 0);
  EXPECT_EQ(table.find("aa-bb-cc-dd-ee-ff"), -1);
  const std::string longKey(64, 'x');
  table.recordFailure(longKey, 0);
  EXPECT_EQ(std::string(table.entry(1).lockKey.data()), std::string(20, 'x'));
  EXPECT_EQ(table.find(longKey), 1);
}

}  // namespace
}  // namespace vantrel
