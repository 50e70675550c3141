#pragma once
// The system's reader of private profile (INI) files: GetPrivateProfileStringA on Windows,
// our own INI reader elsewhere. Both cut values to 1023 characters.

#include <string>
#include <string_view>

namespace vantrel {

std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path);

}  // namespace vantrel
