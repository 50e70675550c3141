// The catalogue runs over the system's profile reader: GetPrivateProfileStringA under Wine,
// our own INI reader natively, so these tests hold both readers to one behaviour.
#include "catalog/message_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "catalog/exception.h"
#include "catalog/ini_file.h"
#include "support/recording_message_boxes.h"
#include "support/source_dir.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

constexpr const char* kIni =
    "; texts for the tests\r\n"
    "[MESSAGEBOX]\r\n"
    "LoginFailed_en=Logon failed\r\n"
    "LoginFailed_jp=JP logon failed\r\n"
    "LoginFailed_tw=TW logon failed\r\n"
    "TwoLines_en=first\\nsecond\r\n"
    "ThreeLines_en=a\\nb\\nc\r\n"
    "Empty_en=\r\n"
    "  Padded_en  =   spaced value   \r\n"
    "Quoted_en=\"  inside quotes  \"\r\n"
    "Mixed_en='left only\r\n"
    ";Commented_en=hidden\r\n"
    "ProjectName_en=Vantrel Test\r\n"
    "Plain=raw\\ntext\r\n"
    "[OTHER]\r\n"
    "OnlyHere_en=other section\r\n";

class MessageCatalogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  MessageCatalog catalog{(dir.write("consoleclient.ini", kIni), dir.path().string())};
};

// The language selects the key's suffix, \n becomes a line break, and the reader follows the
// profile rules: names in any case, blanks trimmed, one pair of quotes taken off, comments skipped.
TEST_F(MessageCatalogTest, LookupsFollowTheLanguageAndTheProfileRules) {
  struct Case { const char* section; const char* key; std::uint32_t language; const char* expected; };
  for (const Case& c : {Case{"MESSAGEBOX", "LoginFailed", 0, "Logon failed"},
                        Case{"MESSAGEBOX", "LoginFailed", 1, "JP logon failed"},
                        Case{"MESSAGEBOX", "LoginFailed", 2, "TW logon failed"},
                        Case{"MESSAGEBOX", "LoginFailed", 7, "Logon failed"},
                        Case{"messagebox", "loginfailed", 0, "Logon failed"},
                        Case{"MESSAGEBOX", "TwoLines", 0, "first\nsecond"},
                        Case{"MESSAGEBOX", "ThreeLines", 0, "a\nb\nc"},
                        Case{"MESSAGEBOX", "Padded", 0, "spaced value"},
                        Case{"MESSAGEBOX", "Quoted", 0, "  inside quotes  "},
                        Case{"MESSAGEBOX", "Mixed", 0, "'left only"},
                        Case{"MESSAGEBOX", "Commented", 0, "No Text"},
                        Case{"MESSAGEBOX", "OnlyHere", 0, "No Text"},
                        Case{"OTHER", "OnlyHere", 0, "other section"},
                        Case{"MESSAGEBOX", "Missing", 0, "No Text"},
                        Case{"MESSAGEBOX", "Empty", 0, ""}}) {
    EXPECT_STREQ(catalog.lookupText(c.section, c.key, c.language), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(MessageCatalog::convertLineBreaks("\\\\nn\\"), "\\\nn\\");
  // A plain lookup keeps the key as given and the backslashes.
  EXPECT_STREQ(catalog.lookupPlain(MessageCatalog::kSection, "Plain"), "raw\\ntext");
  EXPECT_STREQ(catalog.lookupPlain(MessageCatalog::kSection, "LoginFailed"), "No Text");
}

TEST(MessageCatalog, ArgumentChecksComeFirstAndInOrder) {
  int reads = 0;
  MessageCatalog catalog("unused", [&](auto, auto, auto, const std::string&) {
    ++reads;
    return std::string("read");
  });
  struct Case { const char* section; const char* key; const char* expected; };
  for (const Case& c : {Case{"", "", "No Field Text"}, Case{"S", "", "No Var Name"},
                        Case{" S", "", "No Var Name"}, Case{" S", " K", "No Field Text"},
                        Case{"S", " LoginFailed", "No Var Name"}}) {
    EXPECT_STREQ(catalog.lookupText(c.section, c.key, 0), c.expected) << c.section << "|" << c.key;
    EXPECT_STREQ(catalog.lookupPlain(c.section, c.key), c.expected) << c.section << "|" << c.key;
  }
  EXPECT_EQ(reads, 0);
  EXPECT_STREQ(catalog.lookupText("S", "K", 0), "read");
}

TEST(MessageCatalog, MissingFileGivesNoTextEverywhereIncludingTheReportCaption) {
  test::TempDir dir;
  MessageCatalog catalog(dir.path().string());
  EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, "LoginFailed", 0), "No Text");
  // A directory in the file's place (on Linux it opens, then fails to read): no text, no throw.
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::create_directory(dir.path() / "sub" / "consoleclient.ini");
  EXPECT_STREQ(MessageCatalog((dir.path() / "sub").string()).lookupText(MessageCatalog::kSection, "LoginFailed", 0),
               "No Text");

  std::atomic<std::uint8_t> showing{0};
  testing::RecordingMessageBoxes boxes(&showing);
  Exception("key mapping failed").report(boxes, showing, catalog, 0, nullptr);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  const auto box = boxes.boxes()[0];
  EXPECT_EQ(box.text, "key mapping failed");
  EXPECT_EQ(box.caption, "No Text");
  EXPECT_EQ(box.style, 327696u);
  EXPECT_EQ(box.showingWhileUp, 1);
  EXPECT_EQ(showing, 0);
}

TEST(MessageCatalog, OverlongInputIsCutNotOverrun) {
  test::TempDir dir;
  const std::string longValue(3000, 'v');
  dir.write("consoleclient.ini", "[MESSAGEBOX]\r\nLong_en=" + longValue + "\r\n");
  MessageCatalog catalog(dir.path().string());
  EXPECT_EQ(std::string(catalog.lookupText(MessageCatalog::kSection, "Long", 0)), std::string(1023, 'v'));

  const std::string longKey(5000, 'k');
  EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, longKey, 0), "No Text");

  MessageCatalog deep(std::string(5000, 'd'));
  EXPECT_EQ(deep.path().size(), 1023u);
  EXPECT_STREQ(deep.lookupText(MessageCatalog::kSection, "Long", 0), "No Text");
}

TEST_F(MessageCatalogTest, EachThreadKeepsItsOwnResult) {
  const char* mine = catalog.lookupText(MessageCatalog::kSection, "LoginFailed", 0);
  std::thread other([&] {
    for (int i = 0; i < 20; ++i) EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, "TwoLines", 0), "first\nsecond");
  });
  other.join();
  EXPECT_STREQ(mine, "Logon failed");
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST(SampleCatalogue, HasEveryKeyInEveryLanguage) {
  std::ifstream in(testing::sourceDir() / "host/consoleclient.ini", std::ios::binary);
  ASSERT_TRUE(in) << "sample catalogue not found";
  const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* key :
       {"ConnectServerFailed", "ThreeTimeFailed", "ClientLocked", "LoginFailed", "LocalConnectFailed",
        "OtherUserHasLogin", "UserRestricted", "userLocked", "ReferenUser", "ServerNoResponse",
        "AccountDisable", "NextLogonChangePwd", "ScreenTooLarge", "ServerCutConnect", "StartSecThreadFaile",
        "SystemVersionFailed", "GetBitFailed", "CreateDCFailed", "CreateMemFailed", "CloseClipboardFailed",
        "EmptyClipboardFailed", "ProjectName"}) {
    for (const char* suffix : {"_en", "_jp", "_tw"}) {
      const auto value = findIniValue(ini, MessageCatalog::kSection, std::string(key) + suffix);
      EXPECT_TRUE(value && !value->empty()) << key << suffix;
    }
  }
}

}  // namespace
}  // namespace vantrel
