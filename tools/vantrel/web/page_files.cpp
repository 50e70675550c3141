#include "web/page_files.h"

#include <array>
#include <filesystem>

#include "catalog/whole_file.h"
#include "english_catalog.h"
#include "json_text.h"

namespace vantrel::cli {
namespace {

struct Known {
  const char* name;
  const char* contentType;
};

constexpr std::array<Known, 7> kPage = {{
    {"index.html", "text/html; charset=utf-8"},
    {"style.css", "text/css; charset=utf-8"},
    {"viewer.js", "text/javascript; charset=utf-8"},
    {"core.js", "text/javascript; charset=utf-8"},
    {"keys.js", "text/javascript; charset=utf-8"},
    {"view.js", "text/javascript; charset=utf-8"},
    {"vantrel.wasm", "application/wasm"},
}};

constexpr const char* kJson = "application/json";

}  // namespace

std::string catalogueJson(std::string_view ini) {
  constexpr std::string_view kSuffix = "_en=";
  std::string json = "{";
  while (!ini.empty()) {
    const auto end = ini.find('\n');
    std::string_view line = ini.substr(0, end);
    ini = end == std::string_view::npos ? std::string_view{} : ini.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto at = line.find(kSuffix);
    if (at == std::string_view::npos || at == 0 || line.front() == '[' || line.front() == ';') continue;
    if (json.size() > 1) json += ',';
    // The catalogue writes a line break as backslash-n; the page shows the text on one line.
    std::string text;
    const std::string_view value = line.substr(at + kSuffix.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
      const bool lineBreak = value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n';
      text += lineBreak ? ' ' : value[i];
      i += lineBreak ? 1 : 0;
    }
    json += jsonString(line.substr(0, at));
    json += ':';
    json += jsonString(text);
  }
  json += '}';
  return json;
}

std::optional<PageFiles> PageFiles::load(const std::string& folder, const ConsoleList& consoles, std::string& error) {
  PageFiles page;
  for (const Known& k : kPage) {
    const auto path = std::filesystem::path(folder) / k.name;
    auto body = readWholeFile(path.string());
    if (!body) {
      error = "no " + std::string(k.name) + " in the page folder '" + folder +
              "' (build the wasm preset, or give --page-dir)";
      return std::nullopt;
    }
    page.files_[std::string("/").append(k.name)] = {k.contentType, std::move(*body)};
  }
  page.files_["/"] = page.files_["/index.html"];
  std::string names = "[";
  for (const auto& [name, target] : consoles) {
    if (names.size() > 1) names += ',';
    names += jsonString(name);
  }
  page.files_["/consoles.json"] = {kJson, names + "]"};
  page.files_["/texts.json"] = {kJson, catalogueJson(kEnglishCatalog)};
  return page;
}

const PageFile* PageFiles::find(std::string_view target) const {
  target = target.substr(0, target.find('?'));
  const auto it = files_.find(target);
  return it == files_.end() ? nullptr : &it->second;
}

}  // namespace vantrel::cli
