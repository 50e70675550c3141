#pragma once
// The consoles a gateway may relay to, by the names the page offers: `--console NAME=HOST:PORT`.
// The browser only ever names one; an address never comes from it. Each is reached inside TLS
// unless it is named clear, and its key may be pinned by name.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/fingerprint.h"
#include "viewer/viewer_login.h"

namespace vantrel::cli {

struct GatewayConsole {
  Target target;
  bool clear = false;                // the protocol as it is, for consoles without TLS
  std::optional<Sha256Digest> pin;  // this key and no other
};

using ConsoleList = std::map<std::string, GatewayConsole>;

// `entries` are NAME=HOST[:PORT]; `clear` names consoles reached without TLS; `pins` are
// NAME=SHA256:... Nothing, and the reason in `error`, for an entry without a name or address, a
// name used twice or one with other characters than letters, digits, '.', '_' and '-', a clear
// or pinned name that is not a console, a pin that is not a key, or one on a clear console.
std::optional<ConsoleList> parseConsoleList(const std::vector<std::string>& entries,
                                            const std::vector<std::string>& clear,
                                            const std::vector<std::string>& pins, std::string& error);

}  // namespace vantrel::cli
