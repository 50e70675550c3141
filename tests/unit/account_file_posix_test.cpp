#include "server/account_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "support/temp_dir.h"

namespace vantrel {
namespace {

class AccountFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  AccountFile file{(dir.path() / "accounts").string()};  // read afresh for every check
};

// Each refusal comes with its reason, for the console's log.
TEST_F(AccountFileTest, OnlyAnEnabledAdministratorWithTheRightPasswordLogsIn) {
  ASSERT_FALSE(file.addOrReplace("admin", "s3cret", "admin", false));
  ASSERT_FALSE(file.addOrReplace("off", "s3cret", "admin", true));
  ASSERT_FALSE(file.addOrReplace("plain", "s3cret", "user", false));
  ASSERT_FALSE(file.addOrReplace("visitor", "s3cret", "guest", false));
  using V = AccountVerdict;
  struct Case { const char* user; const char* password; V verdict; };
  for (const Case& c : {Case{"admin", "s3cret", V::Valid}, Case{"admin", "s3cret ", V::WrongPassword},
                        Case{"admin", "", V::WrongPassword}, Case{"Admin", "s3cret", V::UnknownUser},
                        Case{"off", "s3cret", V::Disabled}, Case{"plain", "s3cret", V::NotAdministrator},
                        Case{"visitor", "s3cret", V::NotAdministrator}, Case{"nobody", "s3cret", V::UnknownUser}}) {
    EXPECT_EQ(file.verifyAccountPassword(c.user, c.password), c.verdict) << c.user << "/" << c.password;
  }
  EXPECT_EQ(AccountFile((dir.path() / "missing").string()).verifyAccountPassword("admin", "s3cret"), V::Unavailable);
}

TEST_F(AccountFileTest, AddReplacesTheAccountOfTheSameName) {
  ASSERT_FALSE(file.addOrReplace("admin", "old", "admin", false));
  ASSERT_FALSE(file.addOrReplace("admin", "new", "admin", false));
  const auto records = file.load();
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 1u);
  EXPECT_EQ(records->front().hash.rfind("$y$", 0), 0u) << "yescrypt hash expected";
  EXPECT_EQ(file.verifyAccountPassword("admin", "new"), AccountVerdict::Valid);
  EXPECT_EQ(file.verifyAccountPassword("admin", "old"), AccountVerdict::WrongPassword);
  EXPECT_TRUE(file.addOrReplace("bad:name", "x", "admin", false));
  EXPECT_TRUE(file.addOrReplace("name", "x", "root", false));
}

TEST_F(AccountFileTest, AcceptsSha512HashesAndSkipsMalformedLines) {
  // "secret" under SHA-512 crypt with the salt "saltsalt".
  const std::string sha512 =
      "$6$saltsalt$TVLlQcbpFVof5W3Yz4DTP6gRstiNuHwwTt6GLc1E5n0U0aDehy0S5knV8wiOQSpT0Y77vwPZN.Pq.H91p5hVO1";
  dir.write("accounts", "garbage line\nbroken::admin\nops:" + sha512 + ":admin\nx:y:admin,locked\n");
  const auto records = file.load();
  ASSERT_TRUE(records);
  EXPECT_EQ(records->size(), 1u);
  EXPECT_EQ(file.verifyAccountPassword("ops", "secret"), AccountVerdict::Valid);
  EXPECT_EQ(file.verifyAccountPassword("ops", "Secret"), AccountVerdict::WrongPassword);
  EXPECT_EQ(parseAccountLine("a:h:user,disabled")->disabled, true);
}

// An administrator's comments and lines this version cannot read are theirs: adding an account
// changes the one line, through a symbolic link, and keeps the file's mode.
TEST_F(AccountFileTest, AddKeepsEveryOtherLineAndTheLink) {
  const std::string before =
      "# console accounts\r\nops:$6$old$hash:admin\r\nfuture:hash:admin,locked,extra\n\nlast line, no break";
  const auto real = dir.write("real-accounts", before);
  using enum std::filesystem::perms;
  std::filesystem::permissions(real, owner_read | owner_write | group_read);
  const auto link = dir.path() / "accounts";
  std::filesystem::create_symlink("real-accounts", link);

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
  EXPECT_EQ(std::filesystem::status(real).permissions() & all, owner_read | owner_write | group_read);
  EXPECT_EQ(file.verifyAccountPassword("ops", "new"), AccountVerdict::Valid);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "a temporary file was left";
}

TEST_F(AccountFileTest, ADirectoryIsNotAnAccountFile) {
  EXPECT_FALSE(AccountFile(dir.path().string()).load());
  EXPECT_TRUE(AccountFile(dir.path().string()).addOrReplace("admin", "pw", "admin", false));
}

}  // namespace
}  // namespace vantrel
