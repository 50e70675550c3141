#include <windows.h>

#include <array>

#include "catalog/ini_file.h"
#include "catalog/profile_reader.h"

namespace vantrel {

std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path) {
  // The profile functions take paths of at most MAX_PATH characters; some versions fault on
  // longer ones instead of failing, so a longer path counts as a missing file.
  if (path.size() >= MAX_PATH) return std::string(fallback.substr(0, kMaxValueLength));
  std::array<char, kMaxValueLength + 1> result{};
  const std::string sectionText(section), keyText(key), fallbackText(fallback);
  const DWORD length = GetPrivateProfileStringA(sectionText.c_str(), keyText.c_str(), fallbackText.c_str(),
                                                result.data(), static_cast<DWORD>(result.size()),
                                                path.c_str());
  return std::string(result.data(), length);
}

}  // namespace vantrel
