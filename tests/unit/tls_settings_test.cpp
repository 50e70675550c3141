#include "net/tls_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vantrel {
namespace {

constexpr const char* kPin = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

// The settings as the DLL reads them: from consoleclient.ini through the system's profile reader.
TlsSettings settingsOf(const std::string& net) {
  test::TempDir dir;
  dir.write("consoleclient.ini", "[MESSAGEBOX]\nTls=1\n[NET]\n" + net);
  return readTlsSettings((dir.path() / "consoleclient.ini").string());
}

// Opting in never falls back to a clear or unverified link: anything but a readable pin refuses.
TEST(TlsSettingsTest, OnlyAReadablePinOpensASecureLinkAndAnythingElseOptedInRefuses) {
  using Mode = TlsSettings::Mode;
  struct Row {
    std::string net;
    Mode mode;
    std::string refusalNames;
  };
  for (const Row& row : std::vector<Row>{
           {"", Mode::Clear, ""},  // the section's keys elsewhere do not count
           {"Tls=0\nTlsFingerprint=" + std::string(kPin) + "\n", Mode::Clear, ""},
           {"Tls=\n", Mode::Clear, ""},
           {" tls = 1 \r\ntlsfingerprint = " + std::string(kPin) + " \r\n", Mode::Pinned, ""},
           {"Tls=1\n", Mode::Refused, "TlsFingerprint"},
           {"Tls=1\nTlsFingerprint=47DEQpj8HBSa\n", Mode::Refused, "TlsFingerprint=47DEQpj8HBSa"},
           {"Tls=yes\nTlsFingerprint=" + std::string(kPin) + "\n", Mode::Refused, "Tls=yes"},
       }) {
    const TlsSettings settings = settingsOf(row.net);
    EXPECT_EQ(settings.mode, row.mode) << row.net;
    EXPECT_NE(settings.refusal.find(row.refusalNames), std::string::npos) << settings.refusal;
    EXPECT_EQ(settings.refusal.empty(), row.mode != Mode::Refused) << row.net;
    if (row.mode == Mode::Pinned) {
      EXPECT_EQ(formatFingerprint(settings.pin), kPin);
    }
  }
}

TEST(TlsSettingsTest, FailuresAreTracedToTheTraceLogUnlessTheIniNamesAnotherFile) {
  EXPECT_EQ(settingsOf("Tls=1\n").traceFile, "e:\\log.txt");
  EXPECT_EQ(settingsOf("Tls=1\nTraceFile=c:\\temp\\tls.txt\n").traceFile, "c:\\temp\\tls.txt");
}

}  // namespace
}  // namespace vantrel
