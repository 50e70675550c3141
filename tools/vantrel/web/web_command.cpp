// vantrel web --console NAME=HOST[:PORT] ...
// The console in a browser tab: serves the page (its viewer is the project's core compiled to
// WebAssembly) and relays each browser's WebSocket to the console it names, one of those given.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "console/console_log.h"
#include "web/gateway.h"

namespace vantrel::cli {
namespace {

constexpr const char* kCommand = "web";

// Where the package installs the page: share/vantrel/web beside the tool's bin folder.
std::string installedPage() {
  std::array<char, 4096> self{};
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0) return "/usr/share/vantrel/web";
  return (std::filesystem::path(std::string(self.data(), static_cast<std::size_t>(n))).parent_path().parent_path() /
          "share/vantrel/web")
      .string();
}

bool loopback(const std::string& address) { return address.starts_with("127.") || address == "::1"; }

}  // namespace

int runWeb(const WebSettings& s) {
  std::string error;
  const auto consoles = parseConsoleList(s.consoles, error);
  if (!consoles) return fail(kCommand, error);
  if (!loopback(s.listen) && !s.clearOnNetwork) {
    return fail(kCommand, "clear HTTP on " + s.listen +
                              " would carry every password and keystroke readable on the network; listen on "
                              "127.0.0.1, or give --clear-http-on-network if the network is yours alone");
  }
  const std::string folder = s.pageDir.value_or(installedPage());
  auto page = PageFiles::load(folder, *consoles, error);
  if (!page) return fail(kCommand, error);

  GatewayConfig config;
  config.listen = s.listen;
  config.port = s.port;
  config.consoles = *consoles;
  config.limits.sessions = s.maxSessions;
  config.log = [](const std::string& line) { logLine(stdout, line); };
  Gateway gateway(std::move(config), std::move(*page));
  if (!gateway.listen(error)) {
    std::fprintf(stderr, "vantrel web: %s\n", error.c_str());
    return kExitNoConnection;
  }
  std::string names;
  for (const auto& [name, target] : *consoles) names += (names.empty() ? "" : ", ") + name;
  const std::string host = s.listen.find(':') != std::string::npos ? "[" + s.listen + "]" : s.listen;
  logLine(stdout, "listening on http://" + host + ":" + std::to_string(gateway.port()) + "/ for " + names);
  if (!loopback(s.listen)) {
    logLine(stderr, "warning: clear HTTP on " + s.listen + ": passwords and keystrokes cross the network readable");
  }
  gateway.run(true);
  logLine(stdout, "stopped");
  return kExitOk;
}

}  // namespace vantrel::cli
