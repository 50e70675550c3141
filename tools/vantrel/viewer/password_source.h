#pragma once
// Where the tool's commands get a password. On the command line it shows in every process
// list, so the file, the environment variable and the prompt come first in the help texts.

#include <optional>
#include <string>

namespace vantrel::cli {

inline constexpr const char* kPasswordVariable = "VANTREL_PASSWORD";

struct PasswordSources {
  std::optional<std::string> password;      // given on the command line
  std::optional<std::string> passwordFile;  // its first line is the password
};

// The password from the command line, else the file, else VANTREL_PASSWORD, else asked with
// `prompt` and no echo when standard input is a terminal. Nothing, and the reason in `error`,
// when none of them gives one.
std::optional<std::string> readPassword(const PasswordSources& sources, const char* prompt, std::string& error);

// A password for a new account: asked twice without echo when standard input is a terminal,
// else the first line of standard input. Nothing, and the reason in `error`, for an empty
// password or two that differ.
std::optional<std::string> readNewPassword(std::string& error);

}  // namespace vantrel::cli
