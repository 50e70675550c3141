#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "catalog/whole_file.h"
#include "protocol/credential_blocks.h"
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

// A record, or why the line is none; neither for a comment or a blank line.
struct ReadLine {
  std::optional<AccountRecord> record;
  std::optional<std::string> problem;
};
ReadLine readAccountLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '#') return {};
  const auto first = line.find(':');
  const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
  if (second == std::string_view::npos) return {std::nullopt, "not NAME:HASH:ROLE"};
  if (first == 0) return {std::nullopt, "no account name before the first ':'"};

  AccountRecord record{std::string(line.substr(0, first)), std::string(line.substr(first + 1, second - first - 1)),
                       std::string(line.substr(second + 1)), false};
  if (const auto comma = record.role.find(','); comma != std::string::npos) {
    if (record.role.substr(comma + 1) != "disabled") {
      return {std::nullopt, "the role is followed by something else than ',disabled'"};
    }
    record.disabled = true;
    record.role.resize(comma);
  }
  if (!AccountFile::isValidRole(record.role)) {
    return {std::nullopt, "the role '" + record.role + "' is not admin, user or guest"};
  }
  if (record.hash.empty()) return {std::nullopt, "no password hash"};
  return {std::move(record), std::nullopt};
}

// A fresh yescrypt hash of a password a viewer can send; nothing, and why in `error`, otherwise.
std::optional<std::string> newHash(const std::string& password, std::string& error) {
  if (password.size() > CredentialBlocks::kPasswordMaxLength) {
    error = "a password longer than " + std::to_string(CredentialBlocks::kPasswordMaxLength) +
            " characters cannot be sent by a viewer";
    return std::nullopt;
  }
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) {
    error = "cannot make a password salt";
    return std::nullopt;
  }
  auto hash = hashOf(password, setting);
  if (!hash) error = "cannot hash the password";
  return hash;
}

}  // namespace

std::optional<AccountRecord> parseAccountLine(std::string_view line) { return readAccountLine(line).record; }

std::string formatAccountLine(const AccountRecord& record) {
  return record.name + ":" + record.hash + ":" + record.role + (record.disabled ? ",disabled" : "");
}

std::optional<std::string> accountNameProblem(std::string_view name) {
  if (name.empty()) return "an account name must not be empty";
  if (name.front() == '#') return "an account name must not start with '#': its line would be a comment";
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ':') return "an account name must not contain ':', which ends the name in the file";
    if (c == ' ' || c == '\t') return "an account name must not contain blanks";
    if (c < 0x20 || c == 0x7F) return "an account name must not contain control characters";
  }
  if (name.size() > CredentialBlocks::kUserMaxLength) {
    return "an account name must not be longer than " + std::to_string(CredentialBlocks::kUserMaxLength) +
           " characters, the most a viewer sends";
  }
  return std::nullopt;
}

bool AccountFile::isValidRole(std::string_view role) {
  return role == "admin" || role == "user" || role == "guest";
}

std::optional<AccountFile::Contents> AccountFile::read() const {
  std::ifstream in(path_);
  if (!in) return std::nullopt;
  Contents contents;
  std::map<std::string, std::size_t> firstLineOf;
  std::size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ReadLine read = readAccountLine(line);
    ++number;
    if (read.problem) contents.problems.push_back({number, std::move(*read.problem)});
    if (!read.record) continue;
    // Logins find the first line of a name.
    if (const auto [first, fresh] = firstLineOf.try_emplace(read.record->name, number); !fresh) {
      contents.problems.push_back({number, "'" + read.record->name + "' again: line " +
                                               std::to_string(first->second) + " is the one that counts"});
      continue;
    }
    contents.records.push_back(std::move(*read.record));
  }
  if (in.bad()) return std::nullopt;  // a directory opens, then fails to read
  return contents;
}

std::optional<std::vector<AccountRecord>> AccountFile::load() const {
  auto contents = read();
  if (!contents) return std::nullopt;
  return std::move(contents->records);
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

AccountFile::Edit AccountFile::addOrReplace(const std::string& name, const std::string& password,
                                            const std::string& role, bool disabled) const {
  if (auto problem = accountNameProblem(name)) return {std::move(problem)};
  if (!isValidRole(role)) return {"the role must be admin, user or guest"};
  std::string error;
  const auto hash = newHash(password, error);
  if (!hash) return {error};
  const std::string line = formatAccountLine({name, *hash, role, disabled});
  return rewrite(name, false, [&](const AccountRecord*) { return line; });
}

AccountFile::Edit AccountFile::changePassword(const std::string& name, const std::string& password) const {
  std::string error;
  const auto hash = newHash(password, error);
  if (!hash) return {error};
  return rewrite(name, true, [&](const AccountRecord* existing) {
    return formatAccountLine({name, *hash, existing->role, existing->disabled});
  });
}

AccountFile::Edit AccountFile::remove(const std::string& name) const {
  return rewrite(name, true, [](const AccountRecord*) { return std::nullopt; });
}

AccountFile::Edit AccountFile::rewrite(const std::string& name, bool mustExist, const LineMaker& newLine) const {
  const auto target = followLinks(path_);
  if (!target) return {"cannot follow the links of " + path_};
  std::string text;
  struct stat existing {};
  const bool exists = stat(target->c_str(), &existing) == 0;
  if (!exists && (errno != ENOENT || mustExist)) return {"cannot reach " + path_ + ": " + std::strerror(errno)};
  if (exists) {
    auto bytes = readWholeFile(target->string());
    if (!bytes) return {"cannot read " + path_ + ": " + std::strerror(errno)};
    text = std::move(*bytes);
  }

  // Only the account's first line changes (a later one, which no login reads, stays), or every
  // line of the name goes.
  Edit edit;
  std::optional<std::string> replacement;
  std::string out;
  out.reserve(text.size() + 128);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view whole = std::string_view(text).substr(at, std::min(end + 1, text.size()) - at);
    const std::string_view line = whole.substr(0, end - at);
    at += whole.size();
    const auto record = parseAccountLine(line);
    if (!record || record->name != name) {
      out += whole;
      continue;
    }
    const bool first = !edit.existed;
    if (first) {
      edit.existed = true;
      replacement = newLine(&*record);
    }
    if (!replacement) continue;
    if (!first) {
      out += whole;
      continue;
    }
    const bool crlf = !line.empty() && line.back() == '\r';
    out += *replacement;
    out += whole.substr(line.size() - (crlf ? 1 : 0));  // the line's own break, as it was
  }
  if (!edit.existed) {
    if (mustExist) return {"there is no account '" + name + "' in " + path_};
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += *newLine(nullptr) + '\n';
  }
  edit.error = replaceFile(*target, out, exists ? std::optional(existing) : std::nullopt);
  return edit;
}

}  // namespace vantrel
