#include <windows.h>
#include <lm.h>

#include <array>
#include <cstdio>
#include <memory>

#include "server/windows_accounts.h"

namespace vantrel {
namespace {

constexpr int kUserNameBytes = 21;
constexpr int kPasswordBytes = 256;
constexpr int kComputerNameBytes = 32;

template <std::size_t N>
struct WideText {
  std::array<wchar_t, N> text{};
  int count = 0;
};

// Converts a fixed count of bytes, the terminator included, as the account calls expect.
template <std::size_t N>
WideText<N> toWide(const std::string& source) {
  std::array<char, N> bytes{};
  source.copy(bytes.data(), N - 1);
  WideText<N> wide;
  wide.count = MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED, bytes.data(), static_cast<int>(N), wide.text.data(),
                                   static_cast<int>(N));
  return wide;
}

bool readComputerName(std::string& name) {
  std::array<char, kComputerNameBytes> buffer{};
  DWORD size = kComputerNameBytes;
  if (!GetComputerNameA(buffer.data(), &size)) return false;
  name.assign(buffer.data());
  return true;
}

struct NetBufferFree {
  void operator()(void* p) const { NetApiBufferFree(p); }
};
using UserInfo2 = std::unique_ptr<USER_INFO_2, NetBufferFree>;

// The level-2 record of the account, or null when it cannot be read.
UserInfo2 readUserInfo(const wchar_t* server, const wchar_t* user) {
  LPBYTE raw = nullptr;
  const NET_API_STATUS status = NetUserGetInfo(server, user, 2, &raw);
  UserInfo2 info(reinterpret_cast<USER_INFO_2*>(raw));
  if (status != NERR_Success) info.reset();
  return info;
}

}  // namespace

AccountVerdict WindowsAccounts::verifyAccountPassword(const std::string& user, const std::string& password) {
  // The conversions below keep 20 and 255 characters; a longer text would be checked as
  // another, shorter one.
  if (user.size() >= std::size_t{kUserNameBytes} || password.size() >= std::size_t{kPasswordBytes}) {
    return AccountVerdict::Refused;
  }
  if (!isEnabledAdministrator(user)) return AccountVerdict::Refused;
  if (!setPasswordChangeable(user, 0)) return AccountVerdict::Refused;

  std::string computer;
  if (!readComputerName(computer)) {
    setPasswordChangeable(user, 1);
    return AccountVerdict::Refused;
  }
  const auto wideUser = toWide<kUserNameBytes>(user);
  const auto widePassword = toWide<kPasswordBytes>(password);
  const auto wideComputer = toWide<kComputerNameBytes>(computer);
  const NET_API_STATUS result = NetUserChangePassword(wideComputer.text.data(), wideUser.text.data(),
                                                      widePassword.text.data(), widePassword.text.data());
  setPasswordChangeable(user, 1);
  return passwordChangeMeansValid(result) ? AccountVerdict::Valid : AccountVerdict::Refused;
}

bool WindowsAccounts::isEnabledAdministrator(const std::string& user) {
  std::string computer;
  if (!readComputerName(computer)) return false;
  const auto wideUser = toWide<kUserNameBytes>(user);
  const auto wideComputer = toWide<kComputerNameBytes>(computer);
  const auto info = readUserInfo(wideComputer.text.data(), wideUser.text.data());
  if (!info || (info->usri2_flags & UF_ACCOUNTDISABLE) != 0) return false;
  return info->usri2_priv == USER_PRIV_ADMIN;
}

bool WindowsAccounts::setPasswordChangeable(const std::string& user, std::int32_t restore) {
  std::string computer;
  if (!readComputerName(computer)) return false;
  const auto wideUser = toWide<kUserNameBytes>(user);
  std::printf("KVL-UN:  %d\n", wideUser.count);

  const auto wideComputer = toWide<kComputerNameBytes>(computer);
  const auto info = readUserInfo(wideComputer.text.data(), wideUser.text.data());
  if (!info) return false;

  USER_INFO_1008 flags{};
  if (restore == 0) {
    savedAccountFlags_ = info->usri2_flags;
    flags.usri1008_flags = info->usri2_flags & ~static_cast<DWORD>(UF_PASSWD_CANT_CHANGE);
  } else {
    flags.usri1008_flags = savedAccountFlags_;
  }
  NetUserSetInfo(wideComputer.text.data(), wideUser.text.data(), 1008, reinterpret_cast<LPBYTE>(&flags), nullptr);
  return true;
}

bool WindowsAccounts::isAdministratorsGroup(const std::string& name) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                0, 0, &administrators)) {
    return false;
  }
  std::array<BYTE, 128> sid{};
  std::array<char, 16> domain{};
  DWORD sidSize = sid.size();
  DWORD domainSize = domain.size();
  SID_NAME_USE use{};
  const bool found = LookupAccountNameA(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use);
  const bool same = found && EqualSid(sid.data(), administrators);
  FreeSid(administrators);
  return same;
}

bool WindowsAccounts::enableTcbPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return false;
  const std::unique_ptr<void, decltype(&CloseHandle)> tokenGuard(token, CloseHandle);
  TOKEN_PRIVILEGES privileges{};
  if (!LookupPrivilegeValueA(nullptr, "SeTcbPrivilege", &privileges.Privileges[0].Luid)) return false;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  return GetLastError() == ERROR_SUCCESS;
}

}  // namespace vantrel
