#include "server/windows_accounts.h"

namespace vantrel {

bool WindowsAccounts::passwordChangeMeansValid(std::uint32_t result) {
  constexpr std::uint32_t kUserNotFound = 2221, kInvalidPassword = 86, kAccessDenied = 5;
  return result != kUserNotFound && result != kInvalidPassword && result != kAccessDenied;
}

}  // namespace vantrel
