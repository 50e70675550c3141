#include "server/account_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "support/temp_dir.h"

namespace vantrel {
namespace {

TEST(AccountFile, OnlyAnEnabledAdministratorWithTheRightPasswordLogsIn) {
  test::TempDir dir;
  const AccountFile file((dir.path() / "accounts").string());
  ASSERT_FALSE(file.addOrReplace("admin", "s3cret", "admin", false));
  ASSERT_FALSE(file.addOrReplace("off", "s3cret", "admin", true));
  ASSERT_FALSE(file.addOrReplace("plain", "s3cret", "user", false));
  ASSERT_FALSE(file.addOrReplace("visitor", "s3cret", "guest", false));

  AccountFile checks((dir.path() / "accounts").string());
  EXPECT_TRUE(checks.verifyAccountPassword("admin", "s3cret"));
  EXPECT_FALSE(checks.verifyAccountPassword("admin", "s3cret "));
  EXPECT_FALSE(checks.verifyAccountPassword("admin", ""));
  EXPECT_FALSE(checks.verifyAccountPassword("Admin", "s3cret"));
  EXPECT_FALSE(checks.verifyAccountPassword("off", "s3cret"));
  EXPECT_FALSE(checks.verifyAccountPassword("plain", "s3cret"));
  EXPECT_FALSE(checks.verifyAccountPassword("visitor", "s3cret"));
  EXPECT_FALSE(checks.verifyAccountPassword("nobody", "s3cret"));
  EXPECT_FALSE(AccountFile((dir.path() / "missing").string()).verifyAccountPassword("admin", "s3cret"));
}

TEST(AccountFile, AddReplacesTheAccountOfTheSameName) {
  test::TempDir dir;
  const AccountFile file((dir.path() / "accounts").string());
  ASSERT_FALSE(file.addOrReplace("admin", "old", "admin", false));
  ASSERT_FALSE(file.addOrReplace("admin", "new", "admin", false));
  const auto records = file.load();
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 1u);
  EXPECT_EQ(records->front().hash.rfind("$y$", 0), 0u) << "yescrypt hash expected";
  AccountFile checks((dir.path() / "accounts").string());
  EXPECT_TRUE(checks.verifyAccountPassword("admin", "new"));
  EXPECT_FALSE(checks.verifyAccountPassword("admin", "old"));
  EXPECT_TRUE(file.addOrReplace("bad:name", "x", "admin", false));
  EXPECT_TRUE(file.addOrReplace("name", "x", "root", false));
}

TEST(AccountFile, AcceptsSha512HashesAndSkipsMalformedLines) {
  test::TempDir dir;
  // "secret" under SHA-512 crypt with the salt "saltsalt".
  const std::string sha512 =
      "$6$saltsalt$TVLlQcbpFVof5W3Yz4DTP6gRstiNuHwwTt6GLc1E5n0U0aDehy0S5knV8wiOQSpT0Y77vwPZN.Pq.H91p5hVO1";
  dir.write("accounts", "garbage line\nbroken::admin\nops:" + sha512 + ":admin\nx:y:admin,locked\n");
  AccountFile checks((dir.path() / "accounts").string());
  const auto records = checks.load();
  ASSERT_TRUE(records);
  EXPECT_EQ(records->size(), 1u);
  EXPECT_TRUE(checks.verifyAccountPassword("ops", "secret"));
  EXPECT_FALSE(checks.verifyAccountPassword("ops", "Secret"));
  EXPECT_EQ(parseAccountLine("a:h:user,disabled")->disabled, true);
}

// An administrator's comments and lines this version cannot read are theirs: adding an account
// changes the one line, through a symbolic link, and keeps the file's mode.
TEST(AccountFile, AddKeepsEveryOtherLineAndTheLink) {
  test::TempDir dir;
  const std::string before =
      "# console accounts\r\nops:$6$old$hash:admin\r\nfuture:hash:admin,locked,extra\n\nlast line, no break";
  const auto real = dir.write("real-accounts", before);
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  const auto link = dir.path() / "accounts";
  std::filesystem::create_symlink("real-accounts", link);

  const AccountFile file(link.string());
  ASSERT_FALSE(file.addOrReplace("ops", "new", "admin", false));
  ASSERT_FALSE(file.addOrReplace("added", "pw", "user", true));

  EXPECT_TRUE(std::filesystem::is_symlink(link));
  const std::string after = dir.read("real-accounts");
  const auto opsAt = after.find("\r\nops:$y$");
  ASSERT_NE(opsAt, std::string::npos) << after;
  EXPECT_EQ(after.substr(0, opsAt), "# console accounts");
  const auto rest = after.find("\r\nfuture:");
  ASSERT_NE(rest, std::string::npos) << after;
  EXPECT_EQ(after.substr(rest, after.find("added:") - rest),
            "\r\nfuture:hash:admin,locked,extra\n\nlast line, no break\n");
  EXPECT_NE(after.find(":user,disabled\n"), std::string::npos) << after;
  EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  EXPECT_TRUE(AccountFile(link.string()).verifyAccountPassword("ops", "new"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "a temporary file was left";
}

TEST(AccountFile, ADirectoryIsNotAnAccountFile) {
  test::TempDir dir;
  EXPECT_FALSE(AccountFile(dir.path().string()).load());
  EXPECT_TRUE(AccountFile(dir.path().string()).addOrReplace("admin", "pw", "admin", false));
}

}  // namespace
}  // namespace vantrel
