// The key and certificate a console shows: made once and kept private, given files checked.
#include "tls/tls_identity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "support/temp_dir.h"

namespace vantrel::cli {
namespace {

// The openssl program's own reckoning of a certificate's pin, from its public key's DER.
std::string pinByOpenSslProgram(const std::filesystem::path& certificate) {
  const std::string command = "openssl x509 -in '" + certificate.string() +
                              "' -pubkey -noout | openssl pkey -pubin -outform DER | openssl dgst -sha256 -binary | "
                              "openssl base64 -A";
  std::FILE* out = popen(command.c_str(), "r");
  char text[128] = {};
  const bool read = out != nullptr && std::fgets(text, sizeof text, out) != nullptr;
  if (out != nullptr) pclose(out);
  std::string base64 = read ? text : "";
  if (!base64.empty() && base64.back() == '=') base64.pop_back();
  return "SHA256:" + base64;
}

mode_t modeOf(const std::filesystem::path& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 0777;
}

TEST(TlsIdentity, AKeptKeyIsMadeOncePrivatelyAndPinnedByItsPublicKey) {
  test::TempDir dir;
  const auto folder = dir.path() / "state" / "vantrel";
  std::string error;
  const auto made = keptIdentity(folder, "console", error);
  ASSERT_TRUE(made) << error;
  const auto kept = keptIdentity(folder, "console", error);
  ASSERT_TRUE(kept) << error;
  const auto pin = publicKeyDigest(made->certificate.get());
  ASSERT_TRUE(pin);
  EXPECT_EQ(publicKeyDigest(kept->certificate.get()), pin);
  EXPECT_EQ(modeOf(folder / "console.pem"), 0600u);
  EXPECT_EQ(modeOf(folder), 0700u);
  EXPECT_EQ(formatFingerprint(*pin), pinByOpenSslProgram(folder / "console.pem"));

  std::filesystem::permissions(folder / "console.pem", std::filesystem::perms::group_read,
                               std::filesystem::perm_options::add);
  EXPECT_FALSE(keptIdentity(folder, "console", error));
  EXPECT_NE(error.find("can be read by other users (mode 0640)"), std::string::npos) << error;
}

TEST(TlsIdentity, GivenFilesMustHoldTheCertificatesOwnKey) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(keptIdentity(dir.path() / "a", "console", error)) << error;
  ASSERT_TRUE(keptIdentity(dir.path() / "b", "console", error)) << error;
  const std::string a = (dir.path() / "a" / "console.pem").string();
  const std::string b = (dir.path() / "b" / "console.pem").string();
  EXPECT_TRUE(loadIdentity(a, a, error)) << error;
  EXPECT_FALSE(loadIdentity(a, b, error));
  EXPECT_NE(error.find("is not the key of the certificate"), std::string::npos) << error;
  std::filesystem::permissions(b, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  EXPECT_FALSE(loadIdentity(a, b, error));
  EXPECT_NE(error.find("can be read by other users"), std::string::npos) << error;
  EXPECT_FALSE(loadIdentity((dir.path() / "missing.pem").string(), a, error));
}

}  // namespace
}  // namespace vantrel::cli
