#pragma once
// The consoles a gateway may relay to, by the names the page offers: `--console NAME=HOST:PORT`.
// The browser only ever names one; an address never comes from it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "viewer/viewer_login.h"

namespace vantrel::cli {

using ConsoleList = std::map<std::string, Target>;

// Nothing, and the reason in `error`, for an entry without a name or address, a name used twice
// or one with other characters than letters, digits, '.', '_' and '-'.
std::optional<ConsoleList> parseConsoleList(const std::vector<std::string>& entries, std::string& error);

}  // namespace vantrel::cli
