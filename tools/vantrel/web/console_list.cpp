#include "web/console_list.h"

#include <algorithm>
#include <cctype>

namespace vantrel::cli {
namespace {

bool plainName(const std::string& name) {
  return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
  });
}

GatewayConsole* named(ConsoleList& consoles, const std::string& name, const char* option, std::string& error) {
  const auto it = consoles.find(name);
  if (it != consoles.end()) return &it->second;
  error = std::string(option) + " names '" + name + "', which is not one of the --console names";
  return nullptr;
}

}  // namespace

std::optional<ConsoleList> parseConsoleList(const std::vector<std::string>& entries,
                                            const std::vector<std::string>& clear,
                                            const std::vector<std::string>& pins, std::string& error) {
  ConsoleList consoles;
  for (const std::string& entry : entries) {
    const auto equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    if (equals == std::string::npos || !plainName(name)) {
      error = "'" + entry + "' is not NAME=HOST[:PORT] with a name of letters, digits, '.', '_' or '-'";
      return std::nullopt;
    }
    const auto target = viewerTarget(entry.substr(equals + 1), std::nullopt, error);
    if (!target) return std::nullopt;
    if (!consoles.emplace(name, GatewayConsole{*target, false, std::nullopt}).second) {
      error = "the console name '" + name + "' is given twice";
      return std::nullopt;
    }
  }
  for (const std::string& name : clear) {
    GatewayConsole* console = named(consoles, name, "--clear-console", error);
    if (console == nullptr) return std::nullopt;
    console->clear = true;
  }
  for (const std::string& pin : pins) {
    const auto equals = pin.find('=');
    GatewayConsole* console = named(consoles, pin.substr(0, equals), "--tls-fingerprint", error);
    if (console == nullptr) return std::nullopt;
    console->pin = equals == std::string::npos ? std::nullopt : parseFingerprint(pin.substr(equals + 1));
    if (!console->pin) {
      error = "--tls-fingerprint takes NAME=KEY with the key as the console prints it: SHA256: and 43 characters";
      return std::nullopt;
    }
    if (console->clear) {
      error = "the console '" + pin.substr(0, equals) + "' is clear: it shows no key to pin";
      return std::nullopt;
    }
  }
  return consoles;
}

}  // namespace vantrel::cli
