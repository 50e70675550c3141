#include "console/pam_accounts.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace vantrel::cli {
namespace {

struct Credentials {
  const std::string* user;
  const std::string* password;
};

char* copyOf(const std::string& text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

// Hidden prompts get the password, echoed ones the user name; notices need no answer.
int converse(int count, const pam_message** messages, pam_response** responses, void* data) {
  if (count <= 0 || responses == nullptr) return PAM_CONV_ERR;
  const auto* credentials = static_cast<const Credentials*>(data);
  auto* out = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (out == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON) {
      out[i].resp = copyOf(style == PAM_PROMPT_ECHO_OFF ? *credentials->password : *credentials->user);
      if (out[i].resp != nullptr) continue;
    } else if (style == PAM_ERROR_MSG || style == PAM_TEXT_INFO) {
      continue;
    }
    for (int j = 0; j < i; ++j) {
      if (out[j].resp != nullptr) {
        std::memset(out[j].resp, 0, std::strlen(out[j].resp));
        std::free(out[j].resp);
      }
    }
    std::free(out);
    return PAM_CONV_ERR;
  }
  *responses = out;
  return PAM_SUCCESS;
}

// Whether the user belongs to the group, as primary or supplementary group; nothing when the
// system knows no such user.
std::optional<bool> isGroupMember(const std::string& user, const std::string& group) {
  std::vector<char> buffer(16384);
  passwd account{};
  passwd* found = nullptr;
  if (getpwnam_r(user.c_str(), &account, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  const gid_t primary = account.pw_gid;
  ::group entry{};
  ::group* groupFound = nullptr;
  std::vector<char> groupBuffer(65536);
  if (getgrnam_r(group.c_str(), &entry, groupBuffer.data(), groupBuffer.size(), &groupFound) != 0 ||
      groupFound == nullptr) {
    return false;
  }
  if (primary == entry.gr_gid) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (getgrouplist(user.c_str(), primary, groups.data(), &count) < 0) {
    count = std::max(count, static_cast<int>(groups.size()) * 2);
    groups.resize(static_cast<std::size_t>(count));
  }
  groups.resize(static_cast<std::size_t>(count));
  return std::find(groups.begin(), groups.end(), entry.gr_gid) != groups.end();
}

AccountVerdict authenticationVerdict(int result) {
  switch (result) {
    case PAM_SUCCESS:
      return AccountVerdict::Valid;
    case PAM_USER_UNKNOWN:
      return AccountVerdict::UnknownUser;
    case PAM_AUTH_ERR:
    case PAM_MAXTRIES:
      return AccountVerdict::WrongPassword;
    default:  // the stack could not decide: a module or its data is missing or failing
      return AccountVerdict::Unavailable;
  }
}

AccountVerdict accountVerdict(int result) {
  switch (result) {
    case PAM_SUCCESS:
      return AccountVerdict::Valid;
    case PAM_USER_UNKNOWN:
      return AccountVerdict::UnknownUser;
    case PAM_ACCT_EXPIRED:
      return AccountVerdict::AccountExpired;
    case PAM_NEW_AUTHTOK_REQD:
      return AccountVerdict::PasswordExpired;
    case PAM_PERM_DENIED:
    case PAM_AUTH_ERR:
      return AccountVerdict::Refused;
    default:
      return AccountVerdict::Unavailable;
  }
}

}  // namespace

AccountVerdict PamAccounts::verifyAccountPassword(const std::string& user, const std::string& password) {
  if (user.empty()) return AccountVerdict::UnknownUser;
  const auto member = isGroupMember(user, adminGroup_);
  if (!member) return AccountVerdict::UnknownUser;
  if (!*member) return AccountVerdict::NotAdministrator;
  Credentials credentials{&user, &password};
  const pam_conv conversation{converse, &credentials};
  pam_handle_t* handle = nullptr;
  if (pam_start(service_.c_str(), user.c_str(), &conversation, &handle) != PAM_SUCCESS) {
    return AccountVerdict::Unavailable;
  }
  int result = pam_authenticate(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  AccountVerdict verdict = authenticationVerdict(result);
  if (result == PAM_SUCCESS) {
    result = pam_acct_mgmt(handle, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    verdict = accountVerdict(result);
  }
  // A module may have mapped the name to another account: that one must be an administrator.
  const void* item = nullptr;
  if (result == PAM_SUCCESS && pam_get_item(handle, PAM_USER, &item) == PAM_SUCCESS && item != nullptr &&
      user != static_cast<const char*>(item) &&
      isGroupMember(static_cast<const char*>(item), adminGroup_) != std::optional(true)) {
    result = PAM_PERM_DENIED;
    verdict = AccountVerdict::NotAdministrator;
  }
  pam_end(handle, result);
  return verdict;
}

}  // namespace vantrel::cli
