#include "server/windows_accounts.h"

namespace vantrel {

// A password is proved by changing it to itself. Windows checks the old password first and
// only then applies its policy to the new one, so a refusal by the policy (history, length,
// minimum age) still proves the password. Every other failure, an unknown error, a locked
// account, a lost connection to the account database, proves nothing and refuses the login.
bool WindowsAccounts::passwordChangeMeansValid(std::uint32_t result) {
  constexpr std::uint32_t kSuccess = 0;
  constexpr std::uint32_t kHistoryConflict = 2244, kTooShort = 2245, kTooRecent = 2246;
  return result == kSuccess || result == kHistoryConflict || result == kTooShort || result == kTooRecent;
}

}  // namespace vantrel
