// vantrel web --console NAME=HOST[:PORT] ...
// The console in a browser tab: serves the page (its viewer is the project's core compiled to
// WebAssembly) over HTTPS and relays each browser's WebSocket to the console it names, one of
// those given, inside TLS unless that console is named clear.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "console/console_log.h"
#include "tls/server_tls.h"
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

// Nothing, and the reason in `error`, for options that do not go together.
bool consistent(const WebSettings& s, std::string& error) {
  const bool clear = s.clearHttp || s.clearOnNetwork;
  if (clear && (s.tlsCertificate || s.tlsKey || s.stateDir)) {
    error = "--tls-cert, --tls-key and --state-dir are for the page over HTTPS, not with clear HTTP";
  } else if (s.tlsKey && !s.tlsCertificate) {
    error = "--tls-key goes with --tls-cert";
  } else if (clear && !loopback(s.listen) && !s.clearOnNetwork) {
    error = "clear HTTP on " + s.listen +
            " would carry every password and keystroke readable on the network; serve HTTPS (leave out "
            "--clear-http), listen on 127.0.0.1, or give --clear-http-on-network if the network is yours alone";
  } else {
    return true;
  }
  return false;
}

}  // namespace

int runWeb(const WebSettings& s) {
  std::string error;
  if (!consistent(s, error)) return fail(kCommand, error);
  const auto consoles = parseConsoleList(s.consoles, s.clearConsoles, s.pins, error);
  if (!consoles) return fail(kCommand, error);
  auto trust = ConsoleTrust::create({s.caFile, s.knownConsoles, s.acceptNew}, error);
  if (!trust) return fail(kCommand, error);
  const std::string folder = s.pageDir.value_or(installedPage());
  auto page = PageFiles::load(folder, *consoles, error);
  if (!page) return fail(kCommand, error);
  const bool https = !s.clearHttp && !s.clearOnNetwork;
  std::optional<ServerTls> tls;
  if (https && !(tls = openServerTls({s.tlsCertificate, s.tlsKey, s.stateDir}, "web", error))) {
    return fail(kCommand, error);
  }

  GatewayConfig config;
  config.listen = s.listen;
  config.port = s.port.value_or(https ? 8443 : 8080);
  config.consoles = *consoles;
  config.limits.sessions = s.maxSessions;
  config.limits.browserIdle = std::chrono::seconds(s.idleLimit);
  if (tls) config.https = std::move(tls->context);
  config.consoleTrust = std::move(trust);
  config.log = [](const std::string& line) { logLine(stdout, Priority::Info, line); };
  Gateway gateway(std::move(config), std::move(*page));
  if (!gateway.listen(error)) {
    std::fprintf(stderr, "vantrel web: %s\n", error.c_str());
    return kExitNoConnection;
  }
  std::string names;
  for (const auto& [name, console] : *consoles) names += (names.empty() ? "" : ", ") + name;
  const std::string host = s.listen.find(':') != std::string::npos ? "[" + s.listen + "]" : s.listen;
  logLine(stdout, Priority::Info, std::string("listening on ") + (https ? "https" : "http") + "://" + host + ":" +
                      std::to_string(gateway.port()) + "/ for " + names);
  if (tls) {
    logLine(stdout, Priority::Info, "TLS certificate SHA-256 " + tls->certificateDigest + ", key " + tls->keyFingerprint + " (" +
                        tls->origin + "): compare it with what the browser shows");
  } else if (!loopback(s.listen)) {
    logLine(stderr, Priority::Warning, "warning: clear HTTP on " + s.listen + ": passwords and keystrokes cross the network readable");
  }
  for (const auto& [name, console] : *consoles) {
    if (console.clear && !loopback(console.target.host)) {
      logLine(stderr, Priority::Warning, "warning: console " + name + " is relayed without TLS: passwords and keystrokes cross the "
                      "network to " + console.target.host + " readable");
    }
  }
  gateway.run(true);
  logLine(stdout, Priority::Info, "stopped");
  return kExitOk;
}

}  // namespace vantrel::cli
