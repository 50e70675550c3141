#pragma once
// What the gateway serves over HTTP: a fixed list of the page's files, read once from the page
// folder, and two small documents made at start (the consoles' names, the catalogue's English
// texts). A request names one of these or gets nothing; no path from a request reaches the disk.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/console_list.h"

namespace vantrel::cli {

struct PageFile {
  std::string contentType;
  std::string body;
};

class PageFiles {
 public:
  // The page's files as the wasm preset lays them out (build/wasm/page, or where the package
  // installs them). Nothing, and the reason in `error`, when one is missing.
  static std::optional<PageFiles> load(const std::string& folder, const ConsoleList& consoles, std::string& error);

  // The file a request target names ("/" is the page itself), or nothing; the query is ignored.
  const PageFile* find(std::string_view target) const;

 private:
  std::map<std::string, PageFile, std::less<>> files_;
};

// The [MESSAGEBOX] English texts of an INI text as a JSON object, key (without "_en") to text.
std::string catalogueJson(std::string_view ini);

}  // namespace vantrel::cli
