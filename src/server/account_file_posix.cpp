#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "catalog/whole_file.h"
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

// The file a path names once every symbolic link on the way is followed, even when the last
// one points to nothing yet. Nothing for a loop of links.
std::optional<std::filesystem::path> followLinks(std::filesystem::path path) {
  std::error_code error;
  for (int hops = 0; hops < 40; ++hops) {
    if (!std::filesystem::is_symlink(path, error)) return path;
    const auto next = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::nullopt;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes a new file beside the target, flushes it to the disk and renames it over the target,
// so that a reader (or a crash) sees the old file or the new one, never a part. The new file
// keeps the old one's mode and, where allowed, its owner; a new account file is its owner's
// alone.
std::optional<std::string> replaceFile(const std::filesystem::path& target, std::string_view text,
                                       const std::optional<struct stat>& old) {
  const auto directory = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
  std::string temporary = directory.string();
  temporary.append("/.").append(target.filename().string()).append(".XXXXXX");
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return "cannot create a file in " + directory.string() + ": " + std::strerror(errno);
  const mode_t mode = old ? (old->st_mode & 07777) : 0600;
  bool ok = fchmod(fd, mode) == 0;
  // Someone else's file becomes ours when we may not give it away; the mode stays.
  if (ok && old && fchown(fd, old->st_uid, old->st_gid) != 0 && errno != EPERM) ok = false;
  ok = ok && writeAll(fd, text) && fsync(fd) == 0;
  const int writeError = errno;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = ok ? errno : writeError;
    unlink(temporary.c_str());
    return "cannot write " + target.string() + ": " + std::strerror(error);
  }
  // The rename itself is on the disk once the directory is.
  if (const int dir = open(directory.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return std::nullopt;
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
  if (in.bad()) return std::nullopt;  // a directory opens, then fails to read
  return records;
}

AccountVerdict AccountFile::verifyAccountPassword(const std::string& user, const std::string& password) {
  const auto records = load();
  if (!records) return AccountVerdict::Unavailable;
  const auto it = std::find_if(records->begin(), records->end(), [&](const auto& r) { return r.name == user; });
  if (it == records->end() || it->disabled || it->role != "admin") {
    // Hash anyway, so that the answer takes as long as for a wrong password and the time does
    // not tell which names exist or may log in.
    static const std::string decoy = [] {
      char setting[CRYPT_GENSALT_OUTPUT_SIZE] = {};
      return std::string(crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) ? setting : "");
    }();
    if (!decoy.empty()) hashOf(password, decoy.c_str());
    if (it == records->end()) return AccountVerdict::UnknownUser;
    return it->disabled ? AccountVerdict::Disabled : AccountVerdict::NotAdministrator;
  }
  const auto hash = hashOf(password, it->hash.c_str());
  return hash && sameInConstantTime(*hash, it->hash) ? AccountVerdict::Valid : AccountVerdict::WrongPassword;
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

  const auto target = followLinks(path_);
  if (!target) return "cannot follow the links of " + path_;
  std::string text;
  struct stat existing {};
  const bool exists = stat(target->c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return "cannot reach " + path_ + ": " + std::strerror(errno);
  if (exists) {
    auto bytes = readWholeFile(target->string());
    if (!bytes) return "cannot read " + path_ + ": " + std::strerror(errno);
    text = std::move(*bytes);
  }

  // Only the account's own line changes; every other line, comments and lines this version
  // does not understand included, stays byte for byte.
  const std::string line = formatAccountLine({name, *hash, role, disabled});
  bool replaced = false;
  for (std::size_t at = 0; at < text.size() && !replaced;) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const auto record = parseAccountLine(std::string_view(text).substr(at, end - at));
    if (record && record->name == name) {
      const bool crlf = end > at && text[end - 1] == '\r';
      text.replace(at, end - at - (crlf ? 1 : 0), line);
      replaced = true;
    }
    at = end + 1;
  }
  if (!replaced) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += line + '\n';
  }
  return replaceFile(*target, text, exists ? std::optional(existing) : std::nullopt);
}

}  // namespace vantrel
