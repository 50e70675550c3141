#include "server/account_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <vector>

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
  ASSERT_FALSE(file.addOrReplace("admin", "s3cret", "admin", false).error);
  ASSERT_FALSE(file.addOrReplace("off", "s3cret", "admin", true).error);
  ASSERT_FALSE(file.addOrReplace("plain", "s3cret", "user", false).error);
  ASSERT_FALSE(file.addOrReplace("visitor", "s3cret", "guest", false).error);
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

// add replaces a name's line, passwd keeps its role and state, remove drops it; each says
// whether the account was there, and the last two refuse one that is not.
TEST_F(AccountFileTest, EditsChangeTheLineOfTheirName) {
  EXPECT_FALSE(file.addOrReplace("admin", "old", "admin", false).existed);
  EXPECT_TRUE(file.addOrReplace("admin", "new", "admin", false).existed);
  ASSERT_FALSE(file.addOrReplace("guest", "pw", "guest", true).error);
  auto records = file.load();
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 2u);
  EXPECT_EQ(records->front().hash.rfind("$y$", 0), 0u) << "yescrypt hash expected";
  EXPECT_EQ(file.verifyAccountPassword("admin", "new"), AccountVerdict::Valid);
  EXPECT_EQ(file.verifyAccountPassword("admin", "old"), AccountVerdict::WrongPassword);

  const std::string oldHash = records->back().hash;
  ASSERT_FALSE(file.changePassword("guest", "changed").error);
  records = file.load();
  EXPECT_NE(records->back().hash, oldHash);
  EXPECT_TRUE(records->back().disabled);
  EXPECT_EQ(records->back().role, "guest");

  EXPECT_TRUE(file.remove("admin").existed);
  EXPECT_EQ(file.load()->size(), 1u);
  EXPECT_EQ(file.verifyAccountPassword("admin", "new"), AccountVerdict::UnknownUser);
  for (const auto& edit : {file.remove("admin"), file.changePassword("nobody", "pw")}) {
    EXPECT_FALSE(edit.existed);
    EXPECT_NE(edit.error.value_or("").find("there is no account"), std::string::npos);
  }
}

// A name that would read as something else, or that no viewer can send, is refused; so is a
// password no viewer can send.
TEST_F(AccountFileTest, RefusesNamesAndPasswordsThatCouldNeverLogIn) {
  for (const std::string& name : std::vector<std::string>{"", "#ops", "op s", "op:s", "op\ts", "op\x01s", "ops\x7f",
                                                          "ops\n", std::string(22, 'a')}) {
    const auto edit = file.addOrReplace(name, "pw", "admin", false);
    EXPECT_TRUE(edit.error && accountNameProblem(name)) << "'" << name << "'";
  }
  EXPECT_FALSE(accountNameProblem(std::string(21, 'a')));
  EXPECT_FALSE(accountNameProblem("op\xe9rateur"));
  EXPECT_TRUE(file.addOrReplace("name", "x", "root", false).error);
  EXPECT_TRUE(file.addOrReplace("name", std::string(257, 'x'), "admin", false).error);
  EXPECT_FALSE(file.load()) << "nothing was written";
}

// Lines no login can use are named with their number and why; a comment or a blank line is
// none of them, and a second line of a name is one.
TEST_F(AccountFileTest, AcceptsSha512HashesAndNamesTheLinesItCannotUse) {
  // "secret" under SHA-512 crypt with the salt "saltsalt".
  const std::string sha512 =
      "$6$saltsalt$TVLlQcbpFVof5W3Yz4DTP6gRstiNuHwwTt6GLc1E5n0U0aDehy0S5knV8wiOQSpT0Y77vwPZN.Pq.H91p5hVO1";
  dir.write("accounts", "# comment\ngarbage line\nbroken::admin\nops:" + sha512 + ":admin\r\n\n#ops:" + sha512 +
                            ":admin\nx:y:admin,locked\nops:y:root\nops:y:user\n");
  const auto contents = file.read();
  ASSERT_TRUE(contents);
  ASSERT_EQ(contents->records.size(), 1u);
  EXPECT_EQ(file.verifyAccountPassword("ops", "secret"), AccountVerdict::Valid);
  EXPECT_EQ(file.verifyAccountPassword("ops", "Secret"), AccountVerdict::WrongPassword);
  EXPECT_EQ(file.verifyAccountPassword("#ops", "secret"), AccountVerdict::UnknownUser)
      << "a commented-out account is no account";
  const std::vector<std::pair<std::size_t, const char*>> expected = {
      {2, "not NAME:HASH:ROLE"}, {3, "no password hash"}, {7, "',disabled'"}, {8, "'root' is not"}, {9, "line 4 is the one"}};
  ASSERT_EQ(contents->problems.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(contents->problems[i].line, expected[i].first);
    EXPECT_NE(contents->problems[i].reason.find(expected[i].second), std::string::npos) << contents->problems[i].reason;
  }
  EXPECT_EQ(parseAccountLine("a:h:user,disabled")->disabled, true);
}

// An administrator's comments and lines this version cannot read are theirs: adding an account
// changes the one line (removing one drops it), through a symbolic link, and keeps the file's mode.
TEST_F(AccountFileTest, AddKeepsEveryOtherLineAndTheLink) {
  const std::string before =
      "# console accounts\r\nops:$6$old$hash:admin\r\nfuture:hash:admin,locked,extra\n\nlast line, no break";
  const auto real = dir.write("real-accounts", before);
  using enum std::filesystem::perms;
  std::filesystem::permissions(real, owner_read | owner_write | group_read);
  const auto link = dir.path() / "accounts";
  std::filesystem::create_symlink("real-accounts", link);

  ASSERT_FALSE(file.addOrReplace("gone", "pw", "admin", false).error);
  ASSERT_FALSE(file.addOrReplace("ops", "new", "admin", false).error);
  ASSERT_FALSE(file.addOrReplace("added", "pw", "user", true).error);
  ASSERT_FALSE(file.remove("gone").error);

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
  EXPECT_TRUE(AccountFile(dir.path().string()).addOrReplace("admin", "pw", "admin", false).error);
}

}  // namespace
}  // namespace vantrel
