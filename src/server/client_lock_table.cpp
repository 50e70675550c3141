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

std::size_t ClientLockTable::indexOf(std::string_view key) const {
  key = cutKey(key);
  for (std::size_t i = 0; i < count_; ++i) {
    if (std::string_view(entries_[i].lockKey.data()) == key) return i;
  }
  return count_;
}

bool ClientLockTable::lockedAt(std::size_t index, std::uint32_t now) const {
  const auto& e = entries_[index];
  return e.failures == 3 && static_cast<std::uint32_t>(now - e.lockTick) < kLockMillis;
}

// Drops the oldest entry that is not locked; false when every entry is.
bool ClientLockTable::makeRoom(std::uint32_t now) {
  for (std::size_t i = 0; i < count_; ++i) {
    if (lockedAt(i, now)) continue;
    std::move(entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
              entries_.begin() + static_cast<std::ptrdiff_t>(count_), entries_.begin() + static_cast<std::ptrdiff_t>(i));
    --count_;
    return true;
  }
  return false;
}

std::int32_t ClientLockTable::find(std::string_view key) const {
  std::lock_guard guard(lock_);
  const std::size_t i = indexOf(key);
  return i < count_ ? static_cast<std::int32_t>(i) : -1;
}

bool ClientLockTable::isLocked(std::string_view key, std::uint32_t now) const {
  std::lock_guard guard(lock_);
  const std::size_t i = indexOf(key);
  return i < count_ && lockedAt(i, now);
}

std::uint32_t ClientLockTable::lockRemaining(std::string_view key, std::uint32_t now) const {
  std::lock_guard guard(lock_);
  const std::size_t i = indexOf(key);
  if (i == count_ || !lockedAt(i, now)) return 0;
  return kLockMillis - static_cast<std::uint32_t>(now - entries_[i].lockTick);
}

ClientLockTable::Failure ClientLockTable::recordFailure(std::string_view key, std::uint32_t now) {
  std::lock_guard guard(lock_);
  const std::size_t i = indexOf(key);
  if (i == count_) {
    if (count_ == kCapacity && !makeRoom(now)) return Failure::Rejected;
    auto& e = entries_[count_++];
    e = ClientLockEntry{};
    key = cutKey(key);
    std::copy(key.begin(), key.end(), e.lockKey.begin());
    e.failures = 1;
    return Failure::Rejected;
  }
  if (lockedAt(i, now)) return Failure::ThirdFailure;
  auto& e = entries_[i];
  if (e.failures == 3) e.failures = 0;  // a lock that has run out
  if (++e.failures == 3) {
    e.lockTick = now;
    return Failure::ThirdFailure;
  }
  return Failure::Rejected;
}

void ClientLockTable::recordSuccess(std::string_view key) {
  std::lock_guard guard(lock_);
  const std::size_t i = indexOf(key);
  if (i == count_) return;
  entries_[i].failures = 0;
  entries_[i].lockTick = 0;
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
