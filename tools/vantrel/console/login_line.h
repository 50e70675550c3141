#pragma once
// The console's log line for one connection: who, from where, and how it ended.

#include <optional>
#include <string>

#include "server/concurrent_logins.h"

namespace vantrel::cli {

// Nothing for a connection that got no TLS session: the channel has logged why. `adminGroup` is
// PAM's group, empty with an account file. With `riskedInClear`, a password that came without
// TLS is said to have crossed the network readable.
std::optional<std::string> loginLine(const ConcurrentLogins::Outcome& outcome, const std::string& adminGroup,
                                     bool riskedInClear);

}  // namespace vantrel::cli
