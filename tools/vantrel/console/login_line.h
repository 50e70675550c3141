#pragma once
// The console's log line for one connection: who, from where, and how it ended.

#include <optional>
#include <string>

#include "server/console_server.h"

namespace vantrel::cli {

// Nothing for a connection that got no TLS session: the channel has logged why. With
// `riskedInClear`, a password that came without TLS is said to have crossed the network readable.
std::optional<std::string> loginLine(const std::string& address, const ConsoleServer::LoginResult& r,
                                     bool riskedInClear);

}  // namespace vantrel::cli
