#include "server/client_lock_table.h"

#include <algorithm>

namespace vantrel {
namespace {

std::string_view cutKey(std::string_view key) { return key.substr(0, ClientLockTable::kMaxKeyLength); }

}  // namespace

ClientLockTable& ClientLockTable::process() {
  static ClientLockTable table;
  return table;
}

std::int32_t ClientLockTable::find(std::string_view key) const {
  key = cutKey(key);
  std::lock_guard guard(lock_);
  for (std::size_t i = 0; i < count_; ++i) {
    if (std::string_view(entries_[i].lockKey.data()) == key) return static_cast<std::int32_t>(i);
  }
  return -1;
}

bool ClientLockTable::isLocked(std::int32_t index, std::uint32_t now) const {
  std::lock_guard guard(lock_);
  if (index < 0 || static_cast<std::size_t>(index) >= count_) return false;
  const auto& e = entries_[static_cast<std::size_t>(index)];
  return e.failures == 3 && static_cast<std::uint32_t>(now - e.lockTick) < kLockMillis;
}

ClientLockTable::Failure ClientLockTable::recordFailure(std::int32_t index, std::string_view key,
                                                        std::uint32_t now) {
  std::lock_guard guard(lock_);
  if (index < 0 || static_cast<std::size_t>(index) >= count_) {
    if (count_ < kCapacity) {
      auto& e = entries_[count_++];
      e = ClientLockEntry{};
      key = cutKey(key);
      std::copy(key.begin(), key.end(), e.lockKey.begin());
      e.failures = 1;
    }
    return Failure::Rejected;
  }
  auto& e = entries_[static_cast<std::size_t>(index)];
  if (e.failures == 3) e.failures = 0;  // a lock that has run out
  if (++e.failures == 3) {
    e.lockTick = now;
    return Failure::ThirdFailure;
  }
  return Failure::Rejected;
}

void ClientLockTable::recordSuccess(std::int32_t index) {
  std::lock_guard guard(lock_);
  if (index < 0 || static_cast<std::size_t>(index) >= count_) return;
  auto& e = entries_[static_cast<std::size_t>(index)];
  e.failures = 0;
  e.lockTick = 0;
}

std::size_t ClientLockTable::count() const {
  std::lock_guard guard(lock_);
  return count_;
}

ClientLockEntry ClientLockTable::entry(std::size_t index) const {
  std::lock_guard guard(lock_);
  return index < count_ ? entries_[index] : ClientLockEntry{};
}

void ClientLockTable::clear() {
  std::lock_guard guard(lock_);
  count_ = 0;
  entries_.fill(ClientLockEntry{});
}

}  // namespace vantrel
