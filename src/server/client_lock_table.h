#pragma once
// Consecutive failed logins per client, shared by every responder of the process. Three
// failures in a row lock the client for 15 minutes; a success starts the count again. A full
// table makes room for a new client by dropping its oldest entry that is not locked, so that
// lockout keeps working for every client however many have failed before.
//
// Every operation takes the client's key and decides under the table's own lock, so logins
// that run side by side count each failure once and never undo a lock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace vantrel {

struct ClientLockEntry {
  std::array<char, 21> lockKey{};  // hardware address text, else the address (an IPv6 one as its /64)
  std::int32_t failures = 0;       // 0 to 3
  std::uint32_t lockTick = 0;      // tick count at the third failure, else 0
};

class ClientLockTable {
 public:
  static constexpr std::size_t kCapacity = 100;
  static constexpr std::size_t kMaxKeyLength = 20;
  static constexpr std::uint32_t kLockMillis = 900000;

  enum class Failure { Rejected, ThirdFailure };

  // The process's table.
  static ClientLockTable& process();

  // Index of the entry with exactly this key (cut to 20 characters), or -1.
  std::int32_t find(std::string_view key) const;
  // True while the client's third failure is less than 15 minutes old (tick arithmetic wraps).
  bool isLocked(std::string_view key, std::uint32_t now) const;
  // How many milliseconds the client's lock still holds; 0 when it is not locked.
  std::uint32_t lockRemaining(std::string_view key, std::uint32_t now) const;
  // A failed login. ThirdFailure when it made the third in a row, and also for a client that is
  // locked already (a login that was under way when the lock fell), whose lock stays as it is.
  Failure recordFailure(std::string_view key, std::uint32_t now);
  // A successful login: the client's entry, if any, starts again from nothing.
  void recordSuccess(std::string_view key);

  std::size_t count() const;
  ClientLockEntry entry(std::size_t index) const;
  void clear();

 private:
  std::size_t indexOf(std::string_view key) const;  // count_ when absent; lock_ held
  bool lockedAt(std::size_t index, std::uint32_t now) const;
  bool makeRoom(std::uint32_t now);

  mutable std::mutex lock_;
  std::size_t count_ = 0;
  std::array<ClientLockEntry, kCapacity> entries_{};
};

}  // namespace vantrel
