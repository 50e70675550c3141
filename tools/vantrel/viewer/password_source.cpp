#include "viewer/password_source.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace vantrel::cli {
namespace {

// The terminal's settings while echo is off, so that a signal can put them back before the
// process ends: a shell left without echo looks broken.
termios savedTerminal{};

void restoreTerminalAndDie(int signal) {
  tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  std::raise(signal);  // the handler was reset on entry, so this ends the process
}

class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
    struct sigaction action {};
    action.sa_handler = restoreTerminalAndDie;
    action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  static constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  std::array<struct sigaction, 4> previous_{};
  bool active_ = false;
};

// One line without its line break (LF or CRLF); nothing at the end of input.
std::optional<std::string> firstLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The prompt comes after echo is off: an answer typed at the prompt must not be flushed away
// by the change, nor shown.
std::optional<std::string> askHidden(const char* prompt) {
  EchoOff quiet;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  return firstLine(std::cin);
}

bool onTerminal() { return isatty(STDIN_FILENO) != 0; }

// As ssh does for a private key: a password file that others than its owner may read is no
// secret, and the warning says how to make it one.
void warnIfOthersMayRead(const std::string& path) {
  struct stat file {};
  if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode) || (file.st_mode & 044) == 0) return;
  std::fprintf(stderr, "warning: others than its owner may read the password file '%s' (mode %04o): chmod 600 it\n",
               path.c_str(), static_cast<unsigned>(file.st_mode & 07777));
}

}  // namespace

std::optional<std::string> readPassword(const PasswordSources& sources, const char* prompt, std::string& error) {
  if (sources.password) return sources.password;
  if (sources.passwordFile) {
    const std::string cannot = "cannot read a password from '" + *sources.passwordFile + "': ";
    std::ifstream in(*sources.passwordFile, std::ios::binary);
    if (!in) {
      error = cannot + std::strerror(errno);
      return std::nullopt;
    }
    auto line = firstLine(in);
    if (!line) error = cannot + (in.bad() ? std::strerror(errno) : "it is empty");
    if (line) warnIfOthersMayRead(*sources.passwordFile);
    return line;
  }
  if (const char* fromEnvironment = std::getenv(kPasswordVariable)) return std::string(fromEnvironment);
  if (onTerminal()) {
    auto answer = askHidden(prompt);
    if (!answer) {
      error = "no password given";
    } else if (answer->empty()) {
      // No console account has an empty password: sent, it would only count as a failed login.
      error = "an empty password is not sent";
      answer.reset();
    }
    return answer;
  }
  error = std::string("no password: give --password-file FILE or set ") + kPasswordVariable +
          ", or run on a terminal to be asked";
  return std::nullopt;
}

std::optional<std::string> readNewPassword(std::string& error) {
  std::optional<std::string> password;
  if (onTerminal()) {
    password = askHidden("New password: ");
    const auto again = password ? askHidden("Same password again: ") : std::nullopt;
    if (password && again != password) {
      error = "the two passwords differ";
      return std::nullopt;
    }
  } else {
    password = firstLine(std::cin);
  }
  if (!password) {
    error = "no password on standard input";
  } else if (password->empty()) {
    error = "an empty password is refused";
    password.reset();
  }
  return password;
}

}  // namespace vantrel::cli
