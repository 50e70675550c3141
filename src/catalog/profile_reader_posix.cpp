#include "catalog/ini_file.h"
#include "catalog/profile_reader.h"

namespace vantrel {

std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path) {
  return readIniFileValue(path, section, key, fallback);
}

}  // namespace vantrel
