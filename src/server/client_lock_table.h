#pragma once
// Consecutive failed logins per client, shared by every responder of the process. Three
// failures in a row lock the client for 15 minutes; a success starts the count again.
// Entries are appended and never removed; a full table simply stops counting new clients.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace vantrel {

struct ClientLockEntry {
  std::array<char, 21> lockKey{};  // hardware address text, else the dotted address
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

  // Index of the first entry with exactly this key (cut to 20 characters), or -1.
  std::int32_t find(std::string_view key) const;
  // True while the entry's third failure is less than 15 minutes old (tick arithmetic wraps).
  bool isLocked(std::int32_t index, std::uint32_t now) const;
  // A failed login of the client at `index` (-1 appends an entry when there is room).
  Failure recordFailure(std::int32_t index, std::string_view key, std::uint32_t now);
  // A successful login: the entry, if any, starts again from nothing.
  void recordSuccess(std::int32_t index);

  std::size_t count() const;
  ClientLockEntry entry(std::size_t index) const;
  void clear();

 private:
  mutable std::mutex lock_;
  std::size_t count_ = 0;
  std::array<ClientLockEntry, kCapacity> entries_{};
};

}  // namespace vantrel
