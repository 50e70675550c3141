#include <crypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "server/account_file.h"

namespace vantrel {
namespace {

// Equal length and bytes, in time that does not depend on where they differ.
bool sameInConstantTime(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff = static_cast<unsigned char>(diff | (a[i] ^ b[i]));
  return diff == 0;
}

std::optional<std::string> hashOf(const std::string& password, const char* setting) {
  crypt_data data{};
  const char* hash = crypt_r(password.c_str(), setting, &data);
  if (hash == nullptr || hash[0] == '*') return std::nullopt;  // '*' marks a refused setting
  return std::string(hash);
}

}  // namespace

std::optional<AccountRecord> parseAccountLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto first = line.find(':');
  const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
  if (first == 0 || second == std::string_view::npos) return std::nullopt;

  AccountRecord record{std::string(line.substr(0, first)), std::string(line.substr(first + 1, second - first - 1)),
                       std::string(line.substr(second + 1)), false};
  if (const auto comma = record.role.find(','); comma != std::string::npos) {
    if (record.role.substr(comma + 1) != "disabled") return std::nullopt;
    record.disabled = true;
    record.role.resize(comma);
  }
  if (!AccountFile::isValidRole(record.role) || record.hash.empty()) return std::nullopt;
  return record;
}

std::string formatAccountLine(const AccountRecord& record) {
  return record.name + ":" + record.hash + ":" + record.role + (record.disabled ? ",disabled" : "");
}

bool AccountFile::isValidRole(std::string_view role) {
  return role == "admin" || role == "user" || role == "guest";
}

std::optional<std::vector<AccountRecord>> AccountFile::load() const {
  std::ifstream in(path_);
  if (!in) return std::nullopt;
  std::vector<AccountRecord> records;
  for (std::string line; std::getline(in, line);) {
    if (auto record = parseAccountLine(line)) records.push_back(std::move(*record));
  }
  return records;
}

bool AccountFile::verifyAccountPassword(const std::string& user, const std::string& password) {
  const auto records = load();
  if (!records) return false;
  const auto it = std::find_if(records->begin(), records->end(), [&](const auto& r) { return r.name == user; });
  if (it == records->end() || it->disabled || it->role != "admin") {
    // Hash anyway, so that the answer takes as long as for a wrong password and the time does
    // not tell which names exist or may log in.
    static const std::string decoy = [] {
      char setting[CRYPT_GENSALT_OUTPUT_SIZE] = {};
      return std::string(crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) ? setting : "");
    }();
    if (!decoy.empty()) hashOf(password, decoy.c_str());
    return false;
  }
  const auto hash = hashOf(password, it->hash.c_str());
  return hash && sameInConstantTime(*hash, it->hash);
}

std::optional<std::string> AccountFile::addOrReplace(const std::string& name, const std::string& password,
                                                     const std::string& role, bool disabled) const {
  if (name.empty() || name.find_first_of(":\r\n") != std::string::npos) {
    return "an account name must not be empty or contain ':' or a line break";
  }
  if (!isValidRole(role)) return "the role must be admin, user or guest";

  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) {
    return "cannot make a password salt";
  }
  const auto hash = hashOf(password, setting);
  if (!hash) return "cannot hash the password";

  std::vector<AccountRecord> records;
  if (std::filesystem::exists(path_)) {
    auto existing = load();
    if (!existing) return "cannot read " + path_;
    records = std::move(*existing);
  }
  const AccountRecord record{name, *hash, role, disabled};
  const auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.name == name; });
  if (it != records.end()) {
    *it = record;
  } else {
    records.push_back(record);
  }

  // Write a new file beside the old one and move it into place, so a reader never sees half.
  const std::string temporary = path_ + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const auto& r : records) out << formatAccountLine(r) << '\n';
    if (!out.flush()) return "cannot write " + temporary;
  }
  std::error_code error;
  std::filesystem::permissions(temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               error);
  std::filesystem::rename(temporary, path_, error);
  if (error) return "cannot replace " + path_ + ": " + error.message();
  return std::nullopt;
}

}  // namespace vantrel
