#include "tls/known_consoles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "catalog/whole_file.h"

namespace vantrel::cli {
namespace {

std::string lowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::optional<KnownConsole> parseLine(const std::string& line, std::size_t number) {
  std::istringstream fields(line);
  std::string address, key, extra;
  if (!(fields >> address >> key) || (fields >> extra) || address[0] == '#') return std::nullopt;
  const auto colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  unsigned port = 0;
  const char* first = address.data() + colon + 1;
  const char* last = address.data() + address.size();
  const auto [end, failed] = std::from_chars(first, last, port);
  const auto digest = parseFingerprint(key);
  if (failed != std::errc() || end != last || port == 0 || port > 65535 || !digest) return std::nullopt;
  return KnownConsole{lowerCase(address.substr(0, colon)), static_cast<std::uint16_t>(port), *digest, number};
}

}  // namespace

std::vector<KnownConsole> parseKnownConsoles(std::string_view text) {
  std::vector<KnownConsole> known;
  std::istringstream lines{std::string(text)};
  std::string line;
  for (std::size_t number = 1; std::getline(lines, line); ++number) {
    if (auto entry = parseLine(line, number)) known.push_back(std::move(*entry));
  }
  return known;
}

KnownLookup lookUpConsole(const std::vector<KnownConsole>& known, std::string_view host, std::uint16_t port,
                          const Sha256Digest& shown) {
  const std::string name = lowerCase(host);
  KnownLookup result;
  for (const KnownConsole& entry : known) {
    if (entry.host != name || entry.port != port) continue;
    if (entry.key == shown) return {KnownAnswer::Match, entry};
    if (!result.entry) result = {KnownAnswer::Mismatch, entry};
  }
  return result;
}

std::string knownConsoleLine(std::string_view host, std::uint16_t port, const Sha256Digest& key) {
  return lowerCase(host) + ":" + std::to_string(port) + " " + formatFingerprint(key);
}

std::filesystem::path KnownConsolesFile::defaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::filesystem::path base = config != nullptr && config[0] == '/' ? std::filesystem::path(config)
                                     : std::filesystem::path(home != nullptr ? home : ".") / ".config";
  return base / "vantrel" / "known_consoles";
}

std::optional<std::vector<KnownConsole>> KnownConsolesFile::read(std::string& error) const {
  std::error_code missing;
  if (!std::filesystem::exists(path_, missing) && !missing) return std::vector<KnownConsole>{};
  const auto text = readWholeFile(path_.string());
  if (!text) {
    error = "cannot read the known consoles '" + path_.string() + "': " + std::strerror(errno);
    return std::nullopt;
  }
  return parseKnownConsoles(*text);
}

bool KnownConsolesFile::add(std::string_view host, std::uint16_t port, const Sha256Digest& key,
                            std::string& error) const {
  std::error_code ignored;
  const auto folder = path_.parent_path();
  if (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
    std::filesystem::create_directories(folder, ignored);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  std::string line;
  char last = '\n';
  if (fd >= 0 && ::lseek(fd, -1, SEEK_END) >= 0 && ::read(fd, &last, 1) == 1 && last != '\n') {
    line += '\n';  // a last line that someone left open
  }
  line += knownConsoleLine(host, port, key);
  line += '\n';
  const bool written = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  const int saved = errno;
  if (fd >= 0) ::close(fd);
  if (!written) error = "cannot add to the known consoles '" + path_.string() + "': " + std::strerror(saved);
  return written;
}

}  // namespace vantrel::cli
