#pragma once
// The user-facing texts of the library, read afresh from consoleclient.ini on every lookup.
// Keys take a language suffix ("_en", "_jp", "_tw") and the two characters backslash-n in a
// value become a line break. A lookup returns a pointer into a result buffer of the calling
// thread, valid until that thread's next lookup, so the window thread and the receive thread
// never overwrite each other's text.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantrel {

class MessageCatalog {
 public:
  static constexpr std::size_t kBufferSize = 1024;
  static constexpr const char* kSection = "MESSAGEBOX";

  using Reader = std::function<std::string(std::string_view section, std::string_view key,
                                           std::string_view fallback, const std::string& path)>;

  // `iniDirectory` holds consoleclient.ini (no trailing separator).
  explicit MessageCatalog(std::string_view iniDirectory);
  MessageCatalog(std::string_view iniDirectory, Reader reader);
  virtual ~MessageCatalog() = default;

  const char* lookupText(std::string_view section, std::string_view key, std::uint32_t language) const;
  const char* lookupPlain(std::string_view section, std::string_view key) const;

  const std::string& path() const { return path_; }

  static std::string_view languageSuffix(std::uint32_t language);
  static std::string convertLineBreaks(std::string_view text);

 private:
  static const char* refusal(std::string_view section, std::string_view key);
  std::string read(std::string_view section, std::string_view key) const;

  std::string path_;
  Reader reader_;
};

}  // namespace vantrel
