#pragma once
// The consoles a user has accepted, kept as ssh keeps its known hosts: one line per console and
// port, "HOST:PORT SHA256:...", so that a console is trusted on first use and a changed key is
// noticed every time after. Blank lines and lines starting with '#' are for people; a line of
// any other form is skipped.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/fingerprint.h"

namespace vantrel::cli {

struct KnownConsole {
  std::string host;  // as the user named it, in lower case
  std::uint16_t port = 0;
  Sha256Digest key{};
  std::size_t line = 0;  // counted from 1
};

enum class KnownAnswer { Match, NotFound, Mismatch };

struct KnownLookup {
  KnownAnswer answer = KnownAnswer::NotFound;
  std::optional<KnownConsole> entry;  // the entry that matched, or the first whose key differs
};

std::vector<KnownConsole> parseKnownConsoles(std::string_view text);

// A console is known by its host name as given (case aside) and its port: another name or port
// of the same machine is another entry. Any entry with the key shown is a match.
KnownLookup lookUpConsole(const std::vector<KnownConsole>& known, std::string_view host, std::uint16_t port,
                          const Sha256Digest& shown);

std::string knownConsoleLine(std::string_view host, std::uint16_t port, const Sha256Digest& key);

class KnownConsolesFile {
 public:
  explicit KnownConsolesFile(std::filesystem::path path) : path_(std::move(path)) {}
  // $XDG_CONFIG_HOME/vantrel/known_consoles, or under ~/.config when that is not set.
  static std::filesystem::path defaultPath();

  const std::filesystem::path& path() const { return path_; }
  // The entries; a file that does not exist yet has none. Nothing, and the reason in `error`,
  // when it cannot be read.
  std::optional<std::vector<KnownConsole>> read(std::string& error) const;
  // Appends an entry, making the folder (0700) and the file (0600) when they are missing: the
  // file tells which consoles this user works on.
  bool add(std::string_view host, std::uint16_t port, const Sha256Digest& key, std::string& error) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vantrel::cli
